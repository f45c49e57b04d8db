#include "tests/unit/transcript.h"

#include "checks/checks.h"
#include "checks/print.h"
#include "shell/app.h"
#include "store/datafiles.h"
#include "store/state.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
namespace L = hostlayout;

namespace {

std::string Hex(std::uintptr_t v) {
    char t[24];
    std::snprintf(t, sizeof t, "0x%lx", static_cast<unsigned long>(v));
    return t;
}

// Windows-1252 text, readable: the column separator 0xB3 as a box-drawing
// bar, Latin-1 letters as themselves, any other byte outside printable
// ASCII as \xNN (quotes and backslashes escaped too).
std::string Quoted(const std::string& bytes) {
    std::string q = "\"";
    for (unsigned char c : bytes) {
        if (c == 0xB3) {
            q += "\xE2\x94\x82"; // U+2502
        } else if (c >= 0xA0) {
            q += static_cast<char>(0xC0 | c >> 6);
            q += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            char t[8];
            std::snprintf(t, sizeof t, "\\x%02X", c);
            q += t;
        } else {
            q += static_cast<char>(c);
        }
    }
    return q + "\"";
}

std::string SurfaceName(SurfaceRef s) {
    if (s == Scenario::Screen) return "screen";
    if (s == RecordedPrinter) return "printer";
    if (s == Scenario::Window) return "window";
    return Hex(s);
}

std::string ColourName(Colour c) {
    if (c == 0) return "black";
    if (c == MakeColour(255, 0, 0)) return "red";
    char t[24];
    std::snprintf(t, sizeof t, "rgb(%u,%u,%u)", c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF);
    return t;
}

std::string Call(const RecordedCall& c) {
    std::ostringstream s;
    switch (c.kind) {
    case RecordedText: {
        // A record's whole line is the formatters' business: its first two
        // columns say which line it is, its length that all of it was drawn.
        const std::size_t first = c.bytes.find('\xB3'), second = c.bytes.find('\xB3', first + 1);
        const bool cut = c.bytes.size() > 80 && second != std::string::npos;
        s << "text " << SurfaceName(c.surface) << " " << c.x << "," << c.y << " " << ColourName(c.colour) << " "
          << Quoted(cut ? c.bytes.substr(0, second + 1) : c.bytes);
        if (cut) s << "... (" << c.bytes.size() << " bytes)";
        if (c.repeats > 1) s << " (drawn " << c.repeats << " times there, the last shown)";
        break;
    }
    case RecordedBox:
        s << "box " << (c.hasCaption ? Quoted(c.caption) : "(no caption)") << " " << Quoted(c.bytes) << " style "
          << Hex(c.style) << " owner " << (c.owner ? SurfaceName(c.owner) : "none");
        break;
    case RecordedFont: s << "select " << SurfaceName(c.surface) << " font " << Hex(c.font); break;
    case RecordedClear:
        s << "clear " << SurfaceName(c.surface) << " " << c.x << "," << c.y << " " << c.width << "x" << c.height;
        break;
    case RecordedPageEnd: s << "end page"; break;
    case RecordedPageStart: s << "start page"; break;
    case RecordedInvalidate: s << "invalidate " << SurfaceName(c.owner); break;
    case RecordedFontCreate: {
        const FontSpec& f = c.shape;
        s << "create font " << Hex(c.font) << " " << Quoted(c.bytes) << " height " << f.height << " width " << f.width
          << " escapement " << f.escapement << " orientation " << f.orientation << " weight " << f.weight
          << " italic " << f.italic << " underline " << f.underline << " strikeout " << f.strikeOut << " charset "
          << f.charSet << " precision " << f.outPrecision << "/" << f.clipPrecision << " quality " << f.quality
          << " pitch " << f.pitchAndFamily;
        break;
    }
    case RecordedFontDelete: s << "delete font " << Hex(c.font); break;
    case RecordedFocus: s << "focus " << SurfaceName(c.owner); break;
    }
    return s.str() + "\n";
}

// Record size of each data file, to say which record a changed byte is in.
std::size_t RecordSize(const std::string& name) {
    const std::pair<const char*, std::size_t> sizes[] = {
        {"clinique", L::clinique::size}, {"estime", L::estime::size},     {"Fschema", L::fschema::size},
        {"firstrec", L::firstrec::size}, {"identite", L::identite::size}, {"lastrec", L::lastrec::size}};
    for (const auto& [file, size] : sizes)
        if (name == file) return size;
    return 0;
}

// What changed in one file: its size, then each run of changed bytes (runs
// closer than four bytes are one), with its record and offset in it.
std::string Changes(const std::string& name, const L::Bytes* before, const L::Bytes& now) {
    std::ostringstream s;
    const L::Bytes& was = before ? *before : now;
    if (name == "tmp/erreurfiche.txt" || name == "tmp/testfich.txt") {
        if (before && was == now) return "";
        s << "wrote " << name << (now.empty() ? " (empty)" : "") << "\n";
        if (name == "tmp/testfich.txt") {
            s << "  owners"; // a run of one owner as "owner xN"
            for (std::size_t i = 0, run; i + 4 <= now.size(); i += 4 * run) {
                const std::int64_t owner = L::GetSigned(now.data() + i, L::Field{0, 4});
                for (run = 1; i + 4 * run + 4 <= now.size() && L::GetSigned(now.data() + i + 4 * run, L::Field{0, 4}) == owner;)
                    ++run;
                s << " " << owner;
                if (run > 3) s << " x" << run;
                else run = 1;
            }
            return s.str() + "\n";
        }
        std::string text(now.begin(), now.end());
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find("\r\n", at);
            s << "  " << Quoted(text.substr(at, end == std::string::npos ? end : end - at))
              << (end == std::string::npos ? " (no CR LF)" : "") << "\n";
            at = end == std::string::npos ? text.size() : end + 2;
        }
        return s.str();
    }
    if (!before) s << "new file " << name << "\n";
    if (was.size() != now.size()) s << "size of " << name << " " << was.size() << " -> " << now.size() << "\n";
    const std::size_t n = std::min(was.size(), now.size()), size = RecordSize(name);
    for (std::size_t i = 0; i < n;) {
        if (was[i] == now[i]) {
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        for (std::size_t j = end; j < n && j < end + 4; ++j)
            if (was[j] != now[j]) end = j + 1;
        s << "write " << name << " @" << i;
        if (size) s << " (record " << i / size + 1 << " +" << i % size << ")";
        s << ":";
        char hex[4];
        for (std::size_t j = i; j < end; ++j) s << (std::snprintf(hex, sizeof hex, " %02x", was[j]), hex);
        s << " ->";
        for (std::size_t j = i; j < end; ++j) s << (std::snprintf(hex, sizeof hex, " %02x", now[j]), hex);
        s << "\n";
        i = end;
    }
    return s.str();
}

} // namespace

void Scenario::SetUp() {
    PracticeTest::SetUp();
    fs::create_directories(dir / "tmp");
    ReportDirectory = "tmp";
}

void Scenario::TearDown() {
    ReportDirectory = "c:\\tmp";
    PracticeTest::TearDown();
}

std::map<std::string, L::Bytes> Scenario::Files() const {
    std::map<std::string, L::Bytes> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).generic_string()] = Get(fs::relative(entry.path(), dir).string());
    return files;
}

void Scenario::Open(const MiniPractice& practice, const char* missing) {
    CloseDataFileSet();
    ResetSharedState();
    MainWindow = Window;
    for (const auto& [name, bytes] : FilesOf(practice)) {
        if (missing && name == missing)
            fs::remove(dir / name);
        else
            Put(name, *bytes);
    }
    Step("open", [] { OnMainWindowCreate(Window); });
}

void Scenario::Command(unsigned id, std::vector<DialogAnswer> answers) {
    std::string title = "command " + std::to_string(id);
    for (const DialogAnswer& a : answers) {
        title += std::string(", ") + DialogTemplate(a.kind) + (a.ok ? " OK" : " Annuler");
        for (const std::string& t : a.texts) title += " " + Quoted(t);
    }
    Step(title, [&] {
        ScriptDialogs(answers);
        RouteCommand(Window, id);
        EXPECT_EQ(DialogAnswersLeft(), 0u) << "dialogs shown: " << DialogsShown().size();
    });
}

void Scenario::Paint() { Step("paint", [] { PaintCurrentView(Screen); }); }

void Scenario::ShortTransfer(unsigned nth, FaultTarget target) {
    shortTransfer = nth;
    shortTarget = target;
}

void Scenario::Step(const std::string& title, const std::function<void()>& what) {
    const auto before = Files();
    ResetRecording();
    SetRecordedRepeatsFolded(true);
    SetRecordedClientBottom(clientBottom);
    SetRecordedVerticalResolution(printerResolution);
    out += "== " + title + (shortTransfer ? " (transfer " + std::to_string(shortTransfer) + " short)" : "") + "\n";
    if (shortTransfer) FaultArmShortTransfer(shortTransfer, shortTarget);
    what();
    FaultDisarm();
    shortTransfer = 0;
    for (const RecordedCall& c : RecordedCalls()) out += Call(c);
    const auto after = Files();
    for (const auto& [name, now] : after) {
        const auto was = before.find(name);
        out += Changes(name, was == before.end() ? nullptr : &was->second, now);
    }
    // The test's directory stands in the open boxes' captions.
    for (std::size_t at; (at = out.find(dir.string())) != std::string::npos;) out.replace(at, dir.string().size(), "DIR");
    char state[160];
    std::snprintf(state, sizeof state, "mode %d patient %d line %d ordinal %d ready %d%s\n", CurrentMode,
                  CurrentPatient, CurrentLine, LineOrdinal, ViewReady,
                  ViewCommandsEnabled() ? ", Corriger and Imprimer enabled" : "");
    out += state;
}

void Scenario::ExpectGolden() {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
    name = name.substr(name.find('_') + 1);
    const fs::path golden = fs::path(CHKORT_GOLDEN_DIR) / (name + ".txt");
    const char* mode = std::getenv("CHKORT_GOLDEN");
    if (mode && std::string(mode) == "update") {
        std::ofstream(golden, std::ios::binary) << out;
        return;
    }
    std::ifstream in(golden, std::ios::binary);
    ASSERT_TRUE(in) << "no golden file " << golden << " (CHKORT_GOLDEN=update makes it; then read it)";
    const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(out, expected) << "transcript differs from " << golden;
}
