// Input lines: the program's folder, the temporary folder, the program path
// (empty: no restart), then the script template from the archive. Every folder
// and path must reach the script as one single-quoted shell word that the shell
// reads back unchanged, template lines without a '%' and the first line of each
// block must stay as they are, and the script must end in the restart line (when
// asked for) and the line that removes the script.
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "fuzz/FuzzSupport.h"
#include "update/Installer.h"

namespace {

using namespace dorvanta;

[[noreturn]] void Fail(const char* what, const QString& text) {
    fuzz::Fail("fuzz_installscript", what, text.toUtf8().constData());
}

// How a POSIX shell reads a word made only of '...' parts and \' escapes;
// nothing for anything else (unquoted text would be open to the shell).
DORVANTA_FUZZ_CHECK std::optional<QString> ShellWord(const QString& word) {
    QString out;
    qsizetype i = 0;
    while (i < word.size()) {
        if (word[i] == u'\\' && i + 1 < word.size() && word[i + 1] == u'\'') {
            out += u'\'';
            i += 2;
        } else if (word[i] == u'\'') {
            const qsizetype close = word.indexOf(u'\'', i + 1);
            if (close < 0) return std::nullopt;
            out += word.mid(i + 1, close - i - 1);
            i = close + 1;
        } else {
            return std::nullopt;
        }
    }
    if (word.isEmpty()) return std::nullopt;
    return out;
}

QString WithSlash(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QStringList lines =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))
            .split(u'\n');
    while (lines.size() < 3) lines << QString();
    const QString programFolder = lines.takeFirst();
    const QString tempFolder = lines.takeFirst();
    const QString programPath = lines.takeFirst();
    const bool restart = !programPath.isEmpty();

    for (const QString& text : {programFolder, tempFolder, programPath})
        if (ShellWord(ShellQuote(text)) != text) Fail("a quoted word reads back different", text);

    const QStringList script =
        FillInstallScript(lines, programFolder, tempFolder, programPath, restart);
    if (script.size() != lines.size() + (restart ? 2 : 1)) Fail("wrong number of lines", "");

    bool inTail = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        inTail = inTail || (i % 4 == 0 && lines[i].startsWith(u' '));
        const bool copied = !lines[i].contains(u'%') || (!inTail && i % 4 == 0);
        if (copied && script[i] != lines[i]) Fail("a template line was changed", lines[i]);
    }

    const QString remove = QStringLiteral("rm -f -- ");
    const QString& last = script.last();
    if (!last.startsWith(remove) ||
        ShellWord(last.mid(remove.size())) != WithSlash(tempFolder) + QStringLiteral("Update.bat"))
        Fail("the script does not remove itself", last);
    if (restart) {
        const QString background = QStringLiteral(" >/dev/null 2>&1 &");
        const QString& line = script[script.size() - 2];
        if (!line.endsWith(background) || ShellWord(line.chopped(background.size())) != programPath)
            Fail("the restart line does not start the program", line);
    }
    return 0;
}
