// dorvanta-release: the maker's side of the online update. "keygen" creates the
// Ed25519 key pair, "pack" builds the signed update archive and its section in
// Updates.ini. The program checks the archive against the public key built in
// with DORVANTA_UPDATE_PUBLIC_KEY.

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <cerrno>
#include <csignal>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/FileIO.h"
#include "store/StoreError.h"

namespace {

using dorvanta::EStoreError;
using dorvanta::FormatMessage;

// The program refuses bigger archives, so the tool does not make them.
constexpr qint64 kMaxArchiveSize = qint64(512) << 20;

const char kUsage[] =
    "Aufruf:\n"
    "  dorvanta-release keygen ÖFFENTLICH GEHEIM\n"
    "      Erzeugt ein Ed25519-Schlüsselpaar (base64) in zwei neuen Dateien.\n"
    "  dorvanta-release pack --key GEHEIM --program DATEI --version V --date TT.MM.JJJJ\n"
    "                        --news TEXT [--news TEXT ...] --out ORDNER\n"
    "                        [--program-name Dorvanta] [--template DATEI]\n"
    "      Schreibt ORDNER/Updates/<Programmname>-V.zip (Programmdatei und Update.bat)\n"
    "      und trägt den Abschnitt des Programms in ORDNER/Updates.ini ein.\n";

// A wrong command line: the message is followed by the usage text.
class TUsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

QString ShellQuote(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QByteArray ReadFile(const QString& path) {
    return QByteArray::fromStdString(dorvanta::ReadWholeFileOrThrow(Utf8(path)));
}

QByteArray Base64(const QByteArray& bytes) {
    std::string text(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(),
                      reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size(),
                      sodium_base64_VARIANT_ORIGINAL);
    return QByteArray(text.c_str());
}

// The key in a base64 file, which must decode to exactly `size` bytes.
QByteArray ReadKey(const QString& path, std::size_t size) {
    const QByteArray text = ReadFile(path).trimmed();
    QByteArray key(static_cast<qsizetype>(size), '\0');
    std::size_t length = 0;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(key.data()), size, text.constData(),
                          text.size(), nullptr, &length, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        length != size)
        throw EStoreError(FormatMessage("Der Schlüssel in %s ist ungültig.", Utf8(path)));
    return key;
}

// Never replaces a file: an existing key may be the only copy of the maker's key.
void WriteNewFile(const QString& path, const QByteArray& bytes, mode_t mode) {
    const std::string name = Utf8(path);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        throw EStoreError(errno == EEXIST
                              ? FormatMessage("Datei %s existiert bereits; sie wird nicht "
                                              "überschrieben.",
                                              name)
                              : FormatMessage("Datei %s kann nicht erstellt werden", name));
    const bool written = ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
    if (::close(fd) != 0 || !written) {
        ::unlink(name.c_str());
        throw EStoreError(FormatMessage("Datei %s kann nicht geschrieben werden", name));
    }
}

int Keygen(const QStringList& args) {
    if (args.size() != 2) throw TUsageError("keygen braucht genau zwei Dateinamen.");
    unsigned char pk[crypto_sign_PUBLICKEYBYTES];
    unsigned char sk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(pk, sk);
    const QByteArray publicKey = Base64(QByteArray(reinterpret_cast<char*>(pk), sizeof pk));
    QByteArray secretKey = Base64(QByteArray(reinterpret_cast<char*>(sk), sizeof sk));
    sodium_memzero(sk, sizeof sk);
    WriteNewFile(args[0], publicKey + '\n', 0644);
    try {
        WriteNewFile(args[1], secretKey + '\n', 0600);
    } catch (...) {
        ::unlink(Utf8(args[0]).c_str());  // no public key without its secret one
        throw;
    }
    sodium_memzero(secretKey.data(), secretKey.size());
    std::cout << "Schlüsselpaar erstellt.\n"
              << "Öffentlicher Schlüssel (für -DDORVANTA_UPDATE_PUBLIC_KEY): "
              << publicKey.constData() << "\n"
              << "Den geheimen Schlüssel " << Utf8(args[1])
              << " sicher und nicht im Quelltext aufbewahren.\n";
    return 0;
}

// The installation script for one program file (see FillInstallScript): the
// block changes into the program's folder, copies the new file beside the old one
// and renames it over it, so a running or failed copy never leaves a broken
// program; the tail removes the extracted file from the temporary folder.
QByteArray DefaultTemplate(const QString& file) {
    const QString name = ShellQuote(file);
    const QString fresh = ShellQuote(file + QStringLiteral(".neu"));
    const QStringList lines = {
        QStringLiteral("# ") + file,
        QStringLiteral("cd -- %s || exit 1"),
        QStringLiteral("rm -f -- ") + fresh,
        QStringLiteral("cp -- %s") + name + ' ' + fresh + QStringLiteral(" && chmod 755 ") + fresh +
            QStringLiteral(" && mv -f -- ") + fresh + ' ' + name,
        QStringLiteral(" rm -f -- %s") + name,
    };
    return (lines.join('\n') + '\n').toUtf8();
}

// Comma text as the program reads "News": every item quoted, '"' doubled.
QString CommaText(const QStringList& items) {
    QStringList quoted;
    for (QString item : items)
        quoted << '"' + item.replace(QLatin1Char('"'), QLatin1String("\"\"")) + '"';
    return quoted.join(',');
}

bool HasControlCharacter(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
    return false;
}

// Updates.ini with the section `section` replaced by `body` (or appended); the
// other sections keep their bytes, the file its line ends and byte order mark.
QByteArray ReplaceSection(QByteArray ini, const QString& section, const QList<QByteArray>& body) {
    const QByteArray bom = "\xEF\xBB\xBF";
    const bool hasBom = ini.startsWith(bom);
    if (hasBom) ini.remove(0, bom.size());
    const QByteArray eol = ini.contains("\r\n") ? "\r\n" : "\n";
    QList<QByteArray> lines = ini.split('\n');
    if (lines.last().isEmpty()) lines.removeLast();
    QList<QByteArray> out;
    bool inserted = false;
    bool skipping = false;
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('[')) {
            const bool ours =
                trimmed.endsWith(']') && QString::fromUtf8(trimmed.mid(1, trimmed.size() - 2))
                                                 .trimmed()
                                                 .compare(section, Qt::CaseInsensitive) == 0;
            if (skipping && !ours) out << QByteArray();  // keep sections apart
            skipping = ours;
            if (ours && !inserted) {
                out += body;
                inserted = true;
            }
            if (ours) continue;
        }
        if (!skipping) out << line;
    }
    if (!inserted) {
        if (!out.isEmpty() && !out.last().trimmed().isEmpty()) out << QByteArray();
        out += body;
    }
    return (hasBom ? bom : QByteArray()) + out.join(eol) + eol;
}

struct TPackOptions {
    QString key, program, version, date, out, template_;
    QString programName = QStringLiteral("Dorvanta");
    QStringList news;
};

TPackOptions ParsePack(const QStringList& args) {
    TPackOptions o;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& option = args[i];
        QString* target = option == "--key"            ? &o.key
                          : option == "--program"      ? &o.program
                          : option == "--version"      ? &o.version
                          : option == "--date"         ? &o.date
                          : option == "--out"          ? &o.out
                          : option == "--template"     ? &o.template_
                          : option == "--program-name" ? &o.programName
                                                       : nullptr;
        if (!target && option != "--news")
            throw TUsageError(FormatMessage("Unbekannte Angabe: %s", Utf8(option)));
        if (i + 1 >= args.size())
            throw TUsageError(FormatMessage("Zu %s fehlt der Wert.", Utf8(option)));
        if (target)
            *target = args[++i];
        else
            o.news << args[++i];
    }
    const std::pair<const char*, const QString*> required[] = {
        {"--key", &o.key},   {"--program", &o.program}, {"--version", &o.version},
        {"--date", &o.date}, {"--out", &o.out},
    };
    for (const auto& [name, value] : required)
        if (value->isEmpty()) throw TUsageError(FormatMessage("Die Angabe %s fehlt.", name));
    if (o.news.isEmpty()) throw TUsageError("Mindestens eine Angabe --news ist nötig.");

    // The names become file names and an INI section; the date is compared with
    // the program file's date by the program.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._+-]*$"));
    static const QRegularExpression date(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4}$"));
    // The program takes "File" only as a bare file name without "..".
    const auto fileNamePart = [](const QString& text) {
        return plain.match(text).hasMatch() && !text.contains(QLatin1String("..")) &&
               !text.endsWith(QLatin1Char('.'));
    };
    if (!fileNamePart(o.version))
        throw TUsageError(FormatMessage("Ungültige Version: %s", Utf8(o.version)));
    if (!fileNamePart(o.programName))
        throw TUsageError(FormatMessage("Ungültiger Programmname: %s", Utf8(o.programName)));
    if (!date.match(o.date).hasMatch() ||
        !QDate::fromString(o.date, QStringLiteral("dd.MM.yyyy")).isValid())
        throw TUsageError(FormatMessage("Ungültiges Datum (TT.MM.JJJJ): %s", Utf8(o.date)));
    for (const QString& item : o.news)
        if (HasControlCharacter(item))
            throw TUsageError(FormatMessage(
                "Eine Neuigkeit darf keine Zeilenwechsel oder Steuerzeichen enthalten: %s",
                Utf8(item)));
    const QString file = QFileInfo(o.program).fileName();
    if (!plain.match(file).hasMatch() || file.compare("Update.bat", Qt::CaseInsensitive) == 0)
        throw TUsageError(FormatMessage("Ungeeigneter Dateiname des Programms: %s", Utf8(file)));
    return o;
}

void WriteZip(const QString& path, const QString& programFile, const QByteArray& program,
              const QByteArray& script) {
    const std::string name = Utf8(path);
    int error = 0;
    zip_t* archive = zip_open(name.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    bool ok = archive != nullptr;
    const struct {
        std::string entry;
        const QByteArray* bytes;
        zip_uint32_t mode;  // the program must stay executable when extracted
    } entries[] = {
        {Utf8(programFile), &program, S_IFREG | 0755},
        {"Update.bat", &script, S_IFREG | 0644},
    };
    for (const auto& e : entries) {
        if (!ok) break;
        zip_source_t* source = zip_source_buffer(archive, e.bytes->constData(), e.bytes->size(), 0);
        const zip_int64_t index = source ? zip_file_add(archive, e.entry.c_str(), source,
                                                        ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8)
                                         : -1;
        if (index < 0 && source) zip_source_free(source);
        ok = index >= 0 &&
             zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX, e.mode << 16) == 0;
    }
    if (ok && zip_close(archive) == 0) return;
    if (archive) zip_discard(archive);
    throw EStoreError(FormatMessage("Das Archiv %s kann nicht geschrieben werden.", name));
}

int Pack(const QStringList& args) {
    const TPackOptions o = ParsePack(args);
    const QByteArray secretKey = ReadKey(o.key, crypto_sign_SECRETKEYBYTES);
    const QByteArray program = ReadFile(o.program);
    const QString programFile = QFileInfo(o.program).fileName();
    const QByteArray script =
        o.template_.isEmpty() ? DefaultTemplate(programFile) : ReadFile(o.template_);

    const QString updates = o.out + QStringLiteral("/Updates");
    if (!QDir().mkpath(updates))
        throw EStoreError(FormatMessage("Ordner %s kann nicht erstellt werden", Utf8(updates)));
    const QString zipName = o.programName + '-' + o.version + QStringLiteral(".zip");
    const QString zipPath = updates + '/' + zipName;
    WriteZip(zipPath, programFile, program, script);
    const QByteArray archive = ReadFile(zipPath);
    if (archive.size() > kMaxArchiveSize)
        throw EStoreError(FormatMessage(
            "Das Archiv %s ist zu groß; das Programm nimmt höchstens 512 MB an.", Utf8(zipPath)));

    unsigned char signature[crypto_sign_BYTES];
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    const auto* sk = reinterpret_cast<const unsigned char*>(secretKey.constData());
    const auto* bytes = reinterpret_cast<const unsigned char*>(archive.constData());
    crypto_sign_detached(signature, nullptr, bytes, archive.size(), sk);
    // A damaged key file would sign what no public key accepts.
    crypto_sign_ed25519_sk_to_pk(publicKey, sk);
    if (crypto_sign_verify_detached(signature, bytes, archive.size(), publicKey) != 0)
        throw EStoreError(FormatMessage("Der Schlüssel in %s ist ungültig.", Utf8(o.key)));

    const QString iniPath = o.out + QStringLiteral("/Updates.ini");
    const QByteArray ini = QFileInfo(iniPath).exists() ? ReadFile(iniPath) : QByteArray();
    const QList<QByteArray> section = {
        ('[' + o.programName + ']').toUtf8(),
        ("Date=" + o.date).toUtf8(),
        ("File=" + zipName).toUtf8(),
        ("News=" + CommaText(o.news)).toUtf8(),
        "Signature=" + Base64(QByteArray(reinterpret_cast<char*>(signature), sizeof signature)),
    };
    if (dorvanta::WriteFileAtomically(Utf8(iniPath),
                                      ReplaceSection(ini, o.programName, section).toStdString()) !=
        dorvanta::AtomicWriteResult::Ok)
        throw EStoreError(FormatMessage("Datei %s kann nicht geschrieben werden", Utf8(iniPath)));

    std::cout
        << "Archiv erstellt: " << Utf8(zipPath) << " (" << archive.size() << " Byte)\n"
        << "Abschnitt [" << Utf8(o.programName) << "] eingetragen: " << Utf8(iniPath) << "\n"
        << "Geprüft mit dem öffentlichen Schlüssel: "
        << Base64(QByteArray(reinterpret_cast<char*>(publicKey), sizeof publicKey)).constData()
        << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Past a file-size limit (ulimit -f) a write is to fail with EFBIG and be
    // reported like a full disk, not kill the program with SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == "-h" || command == "--help" || command == "hilfe") {
        std::cout << kUsage;
        return 0;
    }
    try {
        if (sodium_init() < 0) throw EStoreError("libsodium kann nicht gestartet werden.");
        if (command == "keygen") return Keygen(args);
        if (command == "pack") return Pack(args);
        throw TUsageError(command.isEmpty()
                              ? std::string("Es fehlt der Befehl (keygen oder pack).")
                              : FormatMessage("Unbekannter Befehl: %s", Utf8(command)));
    } catch (const TUsageError& e) {
        std::cerr << "dorvanta-release: " << e.what() << "\n\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "dorvanta-release: " << e.what() << "\n";
        return 1;
    }
}
