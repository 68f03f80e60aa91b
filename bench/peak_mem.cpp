// Peak memory of single operations on a realistic collection (bench/RealisticData.h),
// each in a fresh process: a benchmark process reuses memory its earlier rounds
// freed, so its peak says little. A case process reads its VmHWM before it touches
// the data and once more at the end.
//
//   peak_mem [ENTRIES]             the table for ENTRIES entries (default 1000000)
//   peak_mem --case OP FILE [TEXT] one case in this process (what the table runs)
//   peak_mem --make FILE [ENTRIES] writes the realistic collection (bench/startup.sh)
//   peak_mem --worst [RECORDS]      the same cases on crafted files, the worst cases
//                                   per file byte (default 1000000 records each)
//   peak_mem --crafted KIND FILE [RECORDS]  writes one of them (empty-keys,
//                                   empty-entries, alternating-parents)
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

#include <QApplication>

#include "bench/RealisticData.h"
#include "mainwindow/MainWindow.h"
#include "session/DocumentSession.h"
#include "platform/MessageService.h"
#include "store/Document.h"
#include "store/Import.h"
#include "store/PdtFile.h"
#include "tools/Cli.h"

namespace {

using namespace dorvanta;

long VmHwmKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

// Counts what the command-line tool writes and drops it.
class TCountingSink : public std::streambuf {
  public:
    std::uint64_t bytes = 0;

  protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        bytes += static_cast<std::uint64_t>(n);
        return n;
    }
    int_type overflow(int_type c) override {
        ++bytes;
        return traits_type::not_eof(c);
    }
};

std::size_t EntryCount(const TDocument& doc) {
    std::size_t n = 0;
    for (const TDataKey& key : doc.Keys) n += key.Data.size();
    return n;
}

// One operation; prints "kB-before kB-peak result", the result being what the
// operation produced (entries, or bytes written), so a case that did nothing shows.
int RunCase(const std::string& op, const std::string& file, const std::string& text) {
    const long before = VmHwmKb();
    std::uint64_t result = 0;
    TDocument doc;
    if (op == "load" || op == "sort" || op == "import") {
        LoadDocument(doc, file);
        if (op == "sort") {
            doc.SortKeys();
            for (std::size_t k = 0; k < doc.Keys.size(); ++k)
                doc.SortEntries(static_cast<std::int32_t>(k));
        } else if (op == "import") {
            ImportEntries(doc, 0, text, '\t');
        }
        result = EntryCount(doc);
    } else if (op == "window") {
        // The program's window opening the file, offscreen, with settings of its own.
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        char dirTemplate[] = "/tmp/dorvanta-peak-reg-XXXXXX";
        if (!::mkdtemp(dirTemplate)) return 2;
        setenv("DORVANTA_REGISTRY_DIR", dirTemplate, 1);
        int argc = 1;
        char name[] = "peak_mem";
        char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        MessageService::Instance().SetTestMode(true);
        TDocumentSession session;
        TMainWindow form(session, QStringList{});
        form.show();
        QApplication::processEvents();
        const long shown = VmHwmKb();
        form.OpenFile(QString::fromStdString(file));
        QApplication::processEvents();
        result = EntryCount(form.Session().Document()) + form.Session().Document().Keys.size();
        const long peak = VmHwmKb();
        form.Session().Document().Modified = false;
        std::filesystem::remove_all(dirTemplate);
        std::cout << shown << " " << peak << " " << result << "\n";
        return 0;
    } else if (op == "dump" || op == "search") {
        TCountingSink sink;
        std::ostream out(&sink);
        std::ostringstream err;
        const int status = op == "dump" ? cli::Run({"dump", file}, out, err)
                                        : cli::Run({"search", file, "*", "--names"}, out, err);
        if (status != cli::kOk) {
            std::cerr << op << ": " << err.str();
            return 2;
        }
        result = sink.bytes;
    } else {
        std::cerr << "unknown case " << op << "\n";
        return 2;
    }
    std::cout << before << " " << VmHwmKb() << " " << result << "\n";
    return 0;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

std::string Mb(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", bytes / 1e6);
    return text;
}

// One case in a fresh process of this program: VmHWM before and at the end, and its
// result. False when it failed.
struct TCaseRun {
    long before = 0, peak = 0;
    unsigned long long result = 0;
};
bool RunCaseProcess(const std::string& args, TCaseRun& run) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command = Quoted(self) + " --case " + args;
    FILE* pipe = ::popen(command.c_str(), "r");
    const int read =
        pipe ? std::fscanf(pipe, "%ld %ld %llu", &run.before, &run.peak, &run.result) : 0;
    const int exit = pipe ? ::pclose(pipe) : -1;
    return read == 3 && exit == 0;
}

// A fresh folder for the files of a table; empty when none could be made.
std::filesystem::path ScratchFolder() {
    char pattern[] = "/tmp/dorvanta-peak-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return {};
    }
    return pattern;
}

// Crafted files that hold the most records per byte.
std::string Crafted(const std::string& kind, std::size_t records) {
    std::string bytes = "\x01\x06";
    bytes += '\0';
    if (kind == "empty-keys") {  // sub-categories without name or entries
        bytes += std::string("\x02\x00\x06\x01P\x06\x00", 7);
        for (std::size_t i = 1; i < records; ++i) bytes += std::string("\x02\x01\x06\x00", 4);
    } else if (kind == "empty-entries") {  // entries without texts in one sub-category
        bytes += std::string("\x02\x00\x06\x01P\x06\x00", 7);
        for (std::size_t i = 0; i < records; ++i) {
            bytes += std::string("\x02\x02\x06\x00\x06\x00\x06\x00\x11", 9);
            bytes += std::string(8, '\0');
        }
    } else if (kind == "alternating-parents") {  // each key a group of a one-byte parent
        for (std::size_t i = 0; i < records; ++i) {
            bytes += std::string("\x02\x00\x06\x01", 4);
            bytes += i % 2 ? 'b' : 'a';
            bytes += std::string("\x06\x00", 2);
        }
    } else {
        return {};
    }
    bytes += '\0';
    return bytes;
}

int Worst(std::size_t records) {
    const std::filesystem::path dir = ScratchFolder();
    if (dir.empty()) return 2;
    std::cout << "Peak memory per case on crafted files of " << records
              << " records, each case in a fresh process.\nx file = (peak - before) / file size; "
                 "the window's \"before\" is the shown, empty window.\n\n";
    std::printf("%-20s %8s %-7s %9s %8s\n", "file", "file MB", "case", "peak MB", "x file");
    int status = 0;
    for (const char* kind : {"empty-keys", "empty-entries", "alternating-parents"}) {
        const std::string path = (dir / (std::string(kind) + ".pdt")).string();
        std::ofstream(path, std::ios::binary) << Crafted(kind, records);
        const double fileBytes = static_cast<double>(std::filesystem::file_size(path));
        for (const char* op : {"load", "window", "sort", "search", "dump"}) {
            TCaseRun run;
            if (!RunCaseProcess(std::string(op) + " " + Quoted(path), run)) {
                std::printf("%-20s %8s %-7s failed\n", kind, Mb(fileBytes).c_str(), op);
                status = 1;
                continue;
            }
            std::printf("%-20s %8s %-7s %9s %8.1f\n", kind, Mb(fileBytes).c_str(), op,
                        Mb(run.peak * 1024.0).c_str(), (run.peak - run.before) * 1024.0 / fileBytes);
        }
    }
    std::filesystem::remove_all(dir);
    return status;
}

int Table(std::size_t entries) {
    const std::filesystem::path dir = ScratchFolder();
    if (dir.empty()) return 2;
    const std::string collection = (dir / "collection.pdt").string();
    const std::string base = (dir / "import-base.pdt").string();
    const std::string lines = (dir / "import.txt").string();
    double highShare = 0;
    {
        const TDocument doc = bench::RealisticDocument(entries);
        highShare = bench::ScrambledHighShare(doc);
        SaveDocument(doc, collection);
        // The import fills one sub-category of 1,000 entries up to `entries`.
        std::mt19937 rng(1);
        TDocument small;
        small.Keys = bench::RealisticKeys(1, rng);
        for (int e = 0; e < 1000; ++e) small.Keys[0].Data.push_back(bench::RealisticEntry(rng));
        SortEntryList(small.Keys[0].Data);
        SaveDocument(small, base);
        std::ofstream(lines, std::ios::binary) << bench::RealisticImportText(entries - 1000);
    }
    const double fileBytes = static_cast<double>(std::filesystem::file_size(collection));
    const double textBytes = static_cast<double>(std::filesystem::file_size(lines));
    std::cout << "Peak memory per case, each in a fresh process: " << entries
              << " realistic entries, file " << Mb(fileBytes) << " MB, "
              << static_cast<int>(100 * highShare + 0.5)
              << " % of the scrambled text bytes at 0x80 and above.\n"
              << "x file = (peak - before) / file size. The import reads " << entries - 1000
              << " lines (" << Mb(textBytes)
              << " MB of text) into a sub-category of 1,000 entries,\nending with as many "
                 "entries as the file holds.\n\n";
    std::printf("%-7s %10s %9s %8s %6s  %s\n", "case", "before MB", "peak MB", "x file", "goal",
                "result");

    struct TCase {
        const char* op;
        const char* goal;  // empty: none
        const char* unit;
    };
    const TCase cases[] = {{"load", "2.5", "entries"},
                           {"search", "2.5", "bytes of JSON"},
                           {"sort", "4", "entries"},
                           {"import", "4", "entries"},
                           {"dump", "", "bytes of JSON"}};
    int status = 0;
    for (const TCase& c : cases) {
        const bool import = std::string(c.op) == "import";
        TCaseRun run;
        if (!RunCaseProcess(std::string(c.op) + " " + Quoted(import ? base : collection) +
                                (import ? " " + Quoted(lines) : ""),
                            run) ||
            run.result == 0) {
            std::printf("%-7s failed\n", c.op);
            status = 1;
            continue;
        }
        const long before = run.before, peak = run.peak;
        const unsigned long long result = run.result;
        const double ratio = (peak - before) * 1024.0 / fileBytes;
        const double goal = *c.goal ? std::stod(c.goal) : 0;
        std::printf("%-7s %10s %9s %8.2f %6s  %llu %s%s\n", c.op, Mb(before * 1024.0).c_str(),
                    Mb(peak * 1024.0).c_str(), ratio,
                    *c.goal ? (std::string("<= ") + c.goal).c_str() : "-", result, c.unit,
                    *c.goal ? (ratio <= goal ? "" : "  OVER GOAL") : "");
    }
    std::filesystem::remove_all(dir);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "--case") {
        return RunCase(argv[2], argv[3], argc > 4 ? argv[4] : "");
    }
    if (argc >= 4 && std::string(argv[1]) == "--crafted") {
        const std::string bytes = Crafted(argv[2], argc > 4 ? std::stoul(argv[4]) : 1000000);
        if (bytes.empty()) return 2;
        std::ofstream(argv[3], std::ios::binary) << bytes;
        return 0;
    }
    if (argc >= 2 && std::string(argv[1]) == "--worst") {
        return Worst(argc > 2 ? std::stoul(argv[2]) : 1000000);
    }
    if (argc >= 3 && std::string(argv[1]) == "--make") {
        SaveDocument(bench::RealisticDocument(argc > 3 ? std::stoul(argv[3]) : 1000000), argv[2]);
        return 0;
    }
    const std::size_t entries = argc > 1 ? std::stoul(argv[1]) : 1000000;
    if (entries <= 1000) {
        std::cerr << "peak_mem: more than 1000 entries, please\n";
        return 2;
    }
    return Table(entries);
}
