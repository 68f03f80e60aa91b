#include "tools/Cli.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <charconv>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>

#include "store/Cp1252.h"
#include "store/ErrorMessage.h"
#include "store/FileIO.h"
#include "store/Import.h"
#include "store/Mask.h"
#include "store/PdtFile.h"
#include "store/Search.h"
#include "store/StoreError.h"
#include "tools/CliMerge.h"
#include "tools/CliHelp.h"
#include "tools/CliPassword.h"
#include "tools/JsonOut.h"

namespace dorvanta::cli {
namespace {

// A failure whose message goes to stderr with exit status 2.
struct CliError {
    std::string message;
};

std::string ToCp1252(const std::string& utf8, const char* what) {
    auto text = Utf8ToCp1252Strict(utf8);
    if (!text) {
        throw CliError{std::string(what) +
                       " enthält Zeichen, die Windows-1252 nicht darstellen kann: " + utf8};
    }
    return *text;
}

std::string ToCp1252(const QString& text, const char* what) {
    return ToCp1252(text.toStdString(), what);
}

using namespace std::string_view_literals;

// A JSON string literal of UTF-8 text, as Qt writes it.
std::string JsonStringOfUtf8(const std::string& utf8) {
    const QByteArray array =
        QJsonDocument(QJsonArray{QString::fromStdString(utf8)}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2).toStdString();
}

void WriteJson(const TDocument& doc, std::ostream& stream) {
    TJsonOut out(stream);
    out.Raw("{\"password\": "sv);
    // An encrypted document's password is UTF-8 already.
    if (doc.Format == TDocument::TFormat::Encrypted) {
        out.Raw(JsonStringOfUtf8(doc.Password));
    } else {
        out.String(doc.Password);
    }
    out.Raw(", \"keys\": ["sv);
    // The keys of a group share their parent text: it is escaped once per group.
    TSharedText lastParent;
    std::string lastParentJson = JsonStringOf(lastParent.str());
    for (std::size_t k = 0; k < doc.Keys.size(); ++k) {
        const TDataKey& key = doc.Keys[k];
        if (!key.Parent.SharesWith(lastParent)) {
            lastParent = key.Parent;
            lastParentJson = JsonStringOf(lastParent.str());
        }
        out.Raw(k ? ",\n  {\"parent\": "sv : "\n  {\"parent\": "sv);
        out.Raw(lastParentJson);
        out.Raw(", \"name\": "sv);
        out.String(key.Name);
        out.Raw(", \"entries\": ["sv);
        for (std::size_t e = 0; e < key.Data.size(); ++e) {
            const TDataRec& rec = key.Data[e];
            out.Raw(e ? ",\n    {\"title\": "sv : "\n    {\"title\": "sv);
            out.String(rec.Title);
            out.Raw(", \"value\": "sv);
            out.String(rec.Value);
            out.Raw(", \"info\": "sv);
            out.String(rec.Info);
            out.Raw(", \"date\": "sv);
            out.Number(rec.Date);
            out.Raw("}"sv);
        }
        out.Raw(key.Data.empty() ? "]}"sv : "\n  ]}"sv);
    }
    out.Raw(doc.Keys.empty() ? "]}\n"sv : "\n]}\n"sv);
    out.Finish();
}

QString RequireString(const QJsonObject& object, const char* field, bool optional = false) {
    const QJsonValue v = object.value(QLatin1String(field));
    if (v.isUndefined() && optional) return {};
    if (!v.isString()) {
        throw CliError{std::string("Ungültiges JSON: \"") + field + "\" muss ein Text sein"};
    }
    return v.toString();
}

// The largest JSON file "build" reads (stated in --help): its parsed form takes
// several times its size.
constexpr std::uint64_t kMaxJsonBytes = std::uint64_t{256} << 20;

TDocument ReadJson(const std::string& path) {
    std::string bytes;
    switch (ReadWholeFile(path, bytes, kMaxJsonBytes)) {
        case ReadFileResult::Ok:
            break;
        case ReadFileResult::TooBig:
            throw CliError{"Die JSON-Datei " + path + " ist größer als " +
                           std::to_string(kMaxJsonBytes >> 20) + " MiB und wird nicht gelesen"};
        default:
            throw CliError{FormatMessage(kMsgCannotOpen, path)};
    }
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(bytes), &error);
    if (error.error != QJsonParseError::NoError) {
        throw CliError{"Ungültiges JSON an Position " + std::to_string(error.offset) + ": " +
                       error.errorString().toStdString()};
    }
    if (!json.isObject()) throw CliError{"Ungültiges JSON: ein Objekt wird erwartet"};
    const QJsonObject root = json.object();
    TDocument doc;
    doc.Password = PasswordOfFormat(RequireString(root, "password", true).toStdString(), false);
    const QJsonValue keys = root.value(QLatin1String("keys"));
    if (!keys.isUndefined() && !keys.isArray()) {
        throw CliError{"Ungültiges JSON: \"keys\" muss eine Liste sein"};
    }
    for (const QJsonValue& keyValue : keys.toArray()) {
        if (!keyValue.isObject())
            throw CliError{"Ungültiges JSON: eine Rubrik muss ein Objekt sein"};
        const QJsonObject keyObject = keyValue.toObject();
        TDataKey key;
        key.Parent = ToCp1252(RequireString(keyObject, "parent"), "Eine Oberrubrik");
        key.Name = ToCp1252(RequireString(keyObject, "name"), "Ein Rubrikname");
        const QJsonValue entries = keyObject.value(QLatin1String("entries"));
        if (!entries.isUndefined() && !entries.isArray()) {
            throw CliError{"Ungültiges JSON: \"entries\" muss eine Liste sein"};
        }
        for (const QJsonValue& entryValue : entries.toArray()) {
            if (!entryValue.isObject()) {
                throw CliError{"Ungültiges JSON: ein Eintrag muss ein Objekt sein"};
            }
            const QJsonObject entry = entryValue.toObject();
            TDataRec rec;
            rec.Title = ToCp1252(RequireString(entry, "title"), "Ein Titel");
            rec.Value = ToCp1252(RequireString(entry, "value", true), "Ein Wert");
            rec.Info = ToCp1252(RequireString(entry, "info", true), "Eine Info");
            const QJsonValue date = entry.value(QLatin1String("date"));
            if (!date.isUndefined() && !date.isNull() && !date.isDouble()) {
                throw CliError{"Ungültiges JSON: \"date\" muss eine Zahl sein"};
            }
            rec.Date = date.toDouble(0.0);
            key.Data.push_back(std::move(rec));
        }
        doc.Keys.push_back(std::move(key));
    }
    return doc;
}

// The switches of search; any other argument stays positional as before.
const std::vector<std::string> kSearchFlags = {"--names",     "--exact",   "--no-titles",
                                               "--no-values", "--no-info", "--no-wildcard"};

struct Options {
    std::vector<std::string> positional;
    std::optional<std::string> password;
    bool passwordStdin = false;
    std::optional<std::string> separator;  // as typed (UTF-8)
    std::vector<std::string> flags;

    bool Has(const std::string& flag) const {
        return std::find(flags.begin(), flags.end(), flag) != flags.end();
    }
};

// A known option, or a file name or text. After "--" everything is the latter; an
// unknown option is refused, shown without what follows its "=" (it may be a secret).
Options ParseOptions(const std::vector<std::string>& args) {
    Options options;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A negative number (an index) is no option either.
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' ||
            (arg[1] >= '0' && arg[1] <= '9')) {
            options.positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--password") {
            if (i + 1 >= args.size()) throw CliError{"--password erwartet einen Text"};
            options.password = args[++i];
        } else if (arg.rfind("--password=", 0) == 0) {
            options.password = arg.substr(11);
        } else if (arg == "--password-stdin") {
            options.passwordStdin = true;
        } else if (arg == "--separator") {
            if (i + 1 >= args.size()) throw CliError{"--separator erwartet ein Zeichen"};
            options.separator = args[++i];
        } else if (arg.rfind("--separator=", 0) == 0) {
            options.separator = arg.substr(12);
        } else if (std::find(kSearchFlags.begin(), kSearchFlags.end(), arg) !=
                   kSearchFlags.end()) {
            options.flags.push_back(arg);
        } else {
            throw CliError{"Unbekannte Option \"" + arg.substr(0, arg.find('=')) +
                           "\" (siehe --help; ein Dateiname, der mit - beginnt, folgt nach --)"};
        }
    }
    return options;
}

// The number of arguments of a command that loads a pdt file; 0 for the others.
std::size_t FileCommandArgs(const std::string& command) {
    if (command == "dump") return 1;
    if (command == "sort" || command == "search") return 2;
    if (command == "import") return 4;
    if (command == "encrypt" || command == "decrypt") return 2;
    if (command == "merge") return 4;
    return 0;
}

// Refuses the options a command does not take rather than ignoring them.
void RequireOnly(const Options& options, const std::string& command, bool flags, bool separator) {
    std::string refused;
    if (!flags && !options.flags.empty()) refused = options.flags.front();
    if (!separator && options.separator) refused = "--separator";
    if (FileCommandArgs(command) == 0 && options.passwordStdin) refused = "--password-stdin";
    if (!refused.empty()) {
        throw CliError{"Die Option " + refused + " gilt nicht für \"" + command + "\""};
    }
}

char SeparatorOf(const std::optional<std::string>& typed) {
    if (!typed || *typed == "tab") return '\t';
    if (*typed == "space") return ' ';
    const std::string byte = ToCp1252(*typed, "Das Trennzeichen");
    if (byte.size() != 1) {
        throw CliError{"--separator erwartet tab, space oder ein einzelnes Zeichen: " + *typed};
    }
    return byte[0];
}

// A 0-based key position of `doc`, as typed.
std::int32_t KeyIndexOf(const TDocument& doc, const std::string& typed) {
    std::size_t index = 0;
    const char* end = typed.data() + typed.size();
    const auto [ptr, ec] = std::from_chars(typed.data(), end, index);
    if (typed.empty() || ec != std::errc() || ptr != end) {
        throw CliError{"Ungültige Rubriknummer \"" + typed + "\": eine Zahl ab 0 wird erwartet"};
    }
    if (index >= doc.Keys.size()) {
        throw CliError{"Es gibt keine Rubrik " + typed + " (die Datei hat " +
                       std::to_string(doc.Keys.size()) + " Rubriken, gezählt ab 0)"};
    }
    return static_cast<std::int32_t>(index);
}

void WriteHits(const TDocument& doc, const std::vector<TSearchHit>& hits, std::ostream& stream) {
    // The field names are UTF-8 like everything printed; the writer takes Windows-1252.
    std::string sources[std::size(kSourceNames)];
    for (std::size_t i = 0; i < std::size(kSourceNames); ++i) {
        sources[i] = ToCp1252(std::string(kSourceNames[i]), "Ein Feldname");
    }
    TJsonOut out(stream);
    out.Raw("["sv);
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const TSearchHit& hit = hits[i];
        out.Raw(i ? ",\n  {\"source\": "sv : "\n  {\"source\": "sv);
        out.String(sources[static_cast<int>(hit.Source)]);
        out.Raw(", \"value\": "sv);
        out.String(HitText(doc, hit));
        out.Raw(", \"key\": "sv);
        out.Integer(hit.KeyIndex);
        out.Raw(", \"entry\": "sv);
        out.Integer(hit.DataIndex);
        out.Raw("}"sv);
    }
    out.Raw(hits.empty() ? "]\n"sv : "\n]\n"sv);
    out.Finish();
}

void RequireCount(const Options& options, std::size_t count, const std::string& command) {
    if (options.positional.size() != count) {
        throw CliError{"Falsche Anzahl Argumente für \"" + command + "\" (siehe --help)"};
    }
}

// Loads a file; false when the password is missing or wrong. With `ownPassword`
// a plain file's stored password opens it.
bool Load(TDocument& doc, const std::string& path, TPasswords& passwords, bool ownPassword) {
    TLoadHooks hooks;
    // A plain file has read its stored password when it asks.
    hooks.AskPassword = [&](const std::string&) {
        if (ownPassword && !doc.Password.empty()) return std::optional<std::string>(doc.Password);
        return passwords.ForOpening(false);
    };
    // An encrypted file asks before anything is read; one fixed password gets one try.
    hooks.AskPassphrase = [&](const std::string&, int attempt) {
        return attempt == 1 ? passwords.ForOpening(true) : std::nullopt;
    };
    return LoadDocument(doc, path, hooks);
}

// The password encrypt and decrypt write, in the form of the written format: a
// given one; else the file's own, converted; else, for encrypt, one typed twice.
void SetWrittenPassword(TDocument& doc, const std::string& command, TPasswords& passwords) {
    const bool encrypt = command == "encrypt";
    if (passwords.Given()) {
        doc.Password = PasswordOfFormat(*passwords.Given(), encrypt);
    } else if (!doc.Password.empty()) {
        const auto to = encrypt ? TDocument::TFormat::Encrypted : TDocument::TFormat::Plain;
        auto kept = PasswordForFormat(doc.Password, doc.Format, to);
        if (!kept) throw ECliExit{kError, kMsgNotPlainPassword};
        doc.Password = std::move(*kept);
    } else if (encrypt) {
        if (auto typed = passwords.NewPassphrase()) doc.Password = std::move(*typed);
    }
}

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const TPasswordInput& input) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << kHelp;
        return args.empty() ? kError : kOk;
    }
    if (args[0] == "--version") {
        out << "dorvanta-cli " << DORVANTA_FILE_VERSION << "\n";
        return kOk;
    }
    const std::string& command = args[0];
    const Options options = ParseOptions(args);
    if (options.password && options.passwordStdin) {
        throw CliError{"--password und --password-stdin schließen einander aus"};
    }
    if (FileCommandArgs(command) != 0 || command == "build" || command == "match") {
        RequireOnly(options, command, command == "search", command == "import");
    }
    if (const std::size_t count = FileCommandArgs(command)) {
        RequireCount(options, count, command);
        if (command == "merge") {  // tools/CliMerge.cpp
            const TAskOnce askOnce(input);
            TPasswords passwords(options.password, options.passwordStdin, askOnce.Input());
            return RunMerge(options.positional, err, [&](TDocument& doc, const std::string& path) {
                return Load(doc, path, passwords, false);
            });
        }
        // Command-line texts are checked before the file is touched.
        const std::string text =
            command == "search" ? ToCp1252(options.positional[1], "Der Suchtext") : "";
        const char separator = SeparatorOf(options.separator);
        TPasswords passwords(options.password, options.passwordStdin, input);
        TDocument doc;
        // encrypt without a given password takes the protected document's own
        // password, which the plain file holds anyway.
        const bool ownPassword = command == "encrypt" && !passwords.Given();
        if (!Load(doc, options.positional[0], passwords, ownPassword)) {
            err << kMsgWrongPassword << "\n";
            return kWrongPassword;
        }
        if (command == "dump") {
            WriteJson(doc, out);
        } else if (command == "search") {
            TSearchOptions search;
            search.Names = options.Has("--names");
            search.Titles = !options.Has("--no-titles");
            search.Values = !options.Has("--no-values");
            search.Info = !options.Has("--no-info");
            search.Exact = options.Has("--exact");
            search.Wildcard = !options.Has("--no-wildcard");
            std::vector<TSearchHit> hits;
            SearchDocument(doc, text, search, hits);  // a malformed mask throws: no JSON
            WriteHits(doc, hits, out);
            return hits.empty() ? kNoMatch : kOk;
        } else if (command == "encrypt" || command == "decrypt") {
            SetWrittenPassword(doc, command, passwords);
            doc.Format =
                command == "encrypt" ? TDocument::TFormat::Encrypted : TDocument::TFormat::Plain;
            SaveDocument(doc, options.positional[1]);
        } else if (command == "import") {
            ImportEntries(doc, KeyIndexOf(doc, options.positional[1]), options.positional[2],
                          separator);
            SaveDocument(doc, options.positional[3]);
        } else {
            doc.SortKeys();
            for (std::size_t k = 0; k < doc.Keys.size(); ++k) {
                doc.SortEntries(static_cast<std::int32_t>(k));
            }
            SaveDocument(doc, options.positional[1]);
        }
        return kOk;
    }
    if (command == "build") {
        RequireCount(options, 2, command);
        SaveDocument(ReadJson(options.positional[0]), options.positional[1]);
        return kOk;
    }
    if (command == "match") {
        RequireCount(options, 2, command);
        const std::string mask = ToCp1252(options.positional[0], "Die Maske");
        const std::string text = ToCp1252(options.positional[1], "Der Text");
        return MatchesMask(text, mask) ? kOk : kNoMatch;
    }
    throw CliError{"Unbekannter Befehl \"" + command + "\" (siehe --help)"};
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const TPasswordInput& input) {
    try {
        return Dispatch(args, out, err, input);
    } catch (const CliError& e) {
        err << e.message << "\n";
    } catch (const ECliExit& e) {
        err << e.Message << "\n";
        return e.Code;
    } catch (...) {
        err << CurrentErrorMessage() << "\n";  // never a library's English text
    }
    return kError;
}

}  // namespace dorvanta::cli
