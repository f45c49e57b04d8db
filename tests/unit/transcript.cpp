#include "tests/unit/transcript.h"

#include "checks/checks.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "store/datafiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

namespace fs = std::filesystem;
namespace L = hostlayout;

namespace {

std::string Hex(std::uintptr_t v) {
    std::ostringstream s;
    s << "0x" << std::hex << v;
    return s.str();
}

// Windows-1252 text, readable: the column separator 0xB3 as a box-drawing
// bar, Latin-1 letters as themselves, any other byte outside printable
// ASCII as \xNN (quotes and backslashes escaped too).
std::string Quoted(const std::string& bytes) {
    std::string q = "\"";
    for (unsigned char c : bytes) {
        char t[8];
        if (c == 0xB3) std::snprintf(t, sizeof t, "\xE2\x94\x82");
        else if (c >= 0xA0) std::snprintf(t, sizeof t, "%c%c", 0xC0 | c >> 6, 0x80 | (c & 0x3F));
        else if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') std::snprintf(t, sizeof t, "\\x%02X", c);
        else std::snprintf(t, sizeof t, "%c", c);
        q += t;
    }
    return q + "\"";
}

// A surface or window by its value: the stand-in's window surface is the window's.
std::string Name(std::uintptr_t v) {
    const std::map<std::uintptr_t, std::string> names = {{Scenario::Screen.value, "screen"},
        {RecordedPrinter.value, "printer"}, {Scenario::Window.value, "window"}, {0, "none"}};
    return names.count(v) ? names.at(v) : Hex(v);
}

std::string ColourName(Colour c) {
    if (c == 0) return "black";
    if (c == MakeColour(255, 0, 0)) return "red";
    return "rgb(" + std::to_string(c & 0xFF) + "," + std::to_string(c >> 8 & 0xFF) + "," + std::to_string(c >> 16) + ")";
}

std::string Call(const RecordedCall& c) {
    std::ostringstream s;
    const FontSpec& f = c.shape;
    // A record's whole line is the formatters' business: its first two
    // columns say which line it is, its length that all of it was drawn.
    const std::size_t second = c.bytes.find('\xB3', c.bytes.find('\xB3') + 1);
    const bool cut = c.kind == RecordedText && c.bytes.size() > 80 && second != std::string::npos;
    switch (c.kind) {
    case RecordedText:
        s << "text " << Name(c.surface.value) << " " << c.x << "," << c.y << " " << ColourName(c.colour) << " "
          << Quoted(cut ? c.bytes.substr(0, second + 1) : c.bytes);
        if (cut) s << "... (" << c.bytes.size() << " bytes)";
        if (c.repeats > 1) s << " (drawn " << c.repeats << " times there, the last shown)";
        break;
    case RecordedBox:
        s << "box " << (c.hasCaption ? Quoted(c.caption) : "(no caption)") << " " << Quoted(c.bytes) << " style "
          << Hex(c.style) << " owner " << Name(c.owner.value);
        break;
    case RecordedFont: s << "select " << Name(c.surface.value) << " font " << Hex(c.font.value); break;
    case RecordedClear: s << "clear " << Name(c.surface.value) << " " << c.x << "," << c.y << " " << c.width << "x" << c.height; break;
    case RecordedPageEnd: s << "end page"; break;
    case RecordedPageStart: s << "start page"; break;
    case RecordedInvalidate: s << "invalidate " << Name(c.owner.value); break;
    case RecordedFontCreate:
        s << "create font " << Hex(c.font.value) << " " << Quoted(c.bytes) << " height " << f.height << " width " << f.width
          << " escapement " << f.escapement << " orientation " << f.orientation << " weight " << f.weight
          << " italic " << f.italic << " underline " << f.underline << " strikeout " << f.strikeOut << " charset "
          << f.charSet << " precision " << f.outPrecision << "/" << f.clipPrecision << " quality " << f.quality
          << " pitch " << f.pitchAndFamily;
        break;
    case RecordedFontDelete: s << "delete font " << Hex(c.font.value); break;
    case RecordedFocus: s << "focus " << Name(c.owner.value); break;
    }
    return s.str() + "\n";
}

// The integrity test's files whole: the report line by line, the owner map
// with a run of one owner as "owner xN".
std::string ReportFile(const std::string& name, const L::Bytes& now) {
    std::string s = "wrote " + name + (now.empty() ? " (empty)\n" : "\n");
    if (name == "tmp/testfich.txt") {
        std::vector<std::int64_t> owners;
        for (std::size_t i = 0; i + 4 <= now.size(); i += 4) owners.push_back(L::GetSigned(now.data() + i, L::Field{0, 4}));
        s += "  owners";
        for (std::size_t i = 0, run; i < owners.size(); i += run) {
            for (run = 1; i + run < owners.size() && owners[i + run] == owners[i];) ++run;
            s += " " + std::to_string(owners[i]) + (run > 3 ? " x" + std::to_string(run) : "");
            if (run <= 3) run = 1;
        }
        return s + "\n";
    }
    const std::string text(now.begin(), now.end());
    for (std::size_t at = 0, end; at < text.size(); at = end == std::string::npos ? text.size() : end + 2) {
        end = text.find("\r\n", at);
        s += "  " + Quoted(text.substr(at, end == std::string::npos ? end : end - at)) +
             (end == std::string::npos ? " (no CR LF)\n" : "\n");
    }
    return s;
}

// The records a step added to the run's journal, read by this test's own
// knowledge of the format: the header, each command with its subject and
// durability, each group, each write with its runs of old and new bytes,
// each command's end; a frame whose check is wrong, or bytes left
// after the last whole record, said as such. Times are left out: they are
// the clock's.
std::string JournalChanges(const L::Bytes* before, const L::Bytes& now) {
    const auto u32 = [&](std::size_t at) { return static_cast<std::uint32_t>(L::GetSigned(now.data() + at, L::Field{0, 4})); };
    const auto u16 = [&](std::size_t at) { return static_cast<unsigned>(now[at] | now[at + 1] << 8); };
    const char* files[] = {"?", "firstrec", "identite", "clinique", "estime", "Fschema"};
    const std::size_t sizes[] = {1, L::firstrec::size, L::identite::size, L::clinique::size, L::estime::size, L::fschema::size};
    std::ostringstream s;
    s << std::hex << std::setfill('0');
    std::size_t at = 24;
    if (now.size() < at) return "journal of " + std::to_string(now.size()) + " bytes, without its header\n";
    if ((!before || before->size() < 24) && now.size() >= 24)
        s << "journal " << Quoted(std::string(now.begin(), now.begin() + 8)) << " header\n";
    if (before && before->size() == now.size()) return "";
    while (at + 9 <= now.size()) {
        const std::size_t length = u32(at + 1);
        if (at + 9 + length > now.size()) break;
        std::uint32_t h = 2166136261u;
        for (std::size_t i = at; i < at + 5 + length; ++i) h = (h ^ now[i]) * 16777619u;
        const bool shown = !before || at >= before->size();
        const std::size_t body = at + 5;
        if (shown && now[at] == 'C' && length >= 20) {
            const char* durability[] = {"each write", "in groups", "at commit"};
            s << "journal command " << Quoted(std::string(now.begin() + body + 20, now.begin() + body + length))
              << std::dec << ", patient " << u32(body + 14) << ", mode " << +now[body + 18] << ", "
              << (now[body + 19] < 3 ? durability[now[body + 19]] : "durability ?") << std::hex;
        } else if (shown && now[at] == 'G' && length == 9) {
            const unsigned file = now[body] < 6 ? now[body] : 0;
            s << "journal group " << files[file] << std::dec << " @" << u32(body + 1) << " to @" << u32(body + 5)
              << " (records " << u32(body + 1) / sizes[file] + 1 << " to " << u32(body + 5) / sizes[file] << ")"
              << std::hex;
        } else if (shown && now[at] == 'E' && length == 0) {
            s << "journal end of command";
        } else if (shown && now[at] == 'W') {
            const unsigned file = now[body] < 6 ? now[body] : 0;
            s << "journal write " << files[file] << std::dec << " @" << u32(body + 1) << " (record "
              << u32(body + 1) / sizes[file] + 1 << ")" << std::hex;
            for (std::size_t r = body + 5; r + 4 <= body + length;) {
                const unsigned first = u16(r), n = u16(r + 2);
                s << std::dec << " +" << first << std::hex << ":";
                for (unsigned j = 0; j < n; ++j) s << " " << std::setw(2) << +now[r + 4 + j];
                s << " ->";
                for (unsigned j = 0; j < n; ++j) s << " " << std::setw(2) << +now[r + 4 + n + j];
                r += 4 + 2 * n;
            }
        } else if (shown) {
            s << "journal record of kind " << Quoted(std::string(1, static_cast<char>(now[at])));
        }
        if (shown && h != u32(at + 5 + length)) s << " (check wrong)";
        if (shown) s << "\n";
        at += 9 + length;
    }
    if (at != now.size()) s << std::dec << "journal ends with " << now.size() - at << " bytes of no whole record\n";
    return s.str();
}

// What changed in a data file: its size, then each run of changed bytes
// (runs closer than four bytes are one), with its record and offset in it.
std::string Changes(const std::string& name, const L::Bytes* before, const L::Bytes& now) {
    const L::Bytes& was = before ? *before : now;
    if (name == "tmp/erreurfiche.txt" || name == "tmp/testfich.txt") return before && was == now ? "" : ReportFile(name, now);
    if (name.rfind("chkort-journal/", 0) == 0) return JournalChanges(before, now);
    const std::map<std::string, std::size_t> sizes = {
        {"clinique", L::clinique::size}, {"estime", L::estime::size},     {"Fschema", L::fschema::size},
        {"firstrec", L::firstrec::size}, {"identite", L::identite::size}, {"lastrec", L::lastrec::size}};
    const std::size_t n = std::min(was.size(), now.size()), size = sizes.count(name) ? sizes.at(name) : 0;
    std::ostringstream s;
    if (!before) s << "new file " << name << "\n";
    if (was.size() != now.size()) s << "size of " << name << " " << was.size() << " -> " << now.size() << "\n";
    for (std::size_t i = 0, end; i < n; i = end) {
        end = i + 1;
        if (was[i] == now[i]) continue;
        for (std::size_t j = end; j < n && j < end + 4; ++j)
            if (was[j] != now[j]) end = j + 1;
        s << "write " << name << " @" << i;
        if (size) s << " (record " << i / size + 1 << " +" << i % size << ")";
        s << ":" << std::hex << std::setfill('0');
        for (std::size_t j = i; j < end; ++j) s << " " << std::setw(2) << +was[j];
        s << " ->";
        for (std::size_t j = i; j < end; ++j) s << " " << std::setw(2) << +now[j];
        s << std::dec << "\n";
    }
    return s.str();
}

unsigned pageEndsToCancel = 0;

void CountPageEndToCancel() {
    if (pageEndsToCancel > 0 && --pageEndsToCancel == 0) PrintCancelled = 1;
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
        if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).generic_string()] = Get(entry.path().string());
    return files;
}

void Scenario::Open(const MiniPractice& practice, const char* missing) {
    CloseDataFileSet();
    ResetStoreState();
    ResetWindowState();
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

void Scenario::Print(unsigned view, const char* patient) {
    Command(view, {{DialogNumero, true, {patient}}});
    Command(CMD_PRINT);
}

void Scenario::Paint(int times) {
    while (times-- > 0) Step("paint", [] { PaintCurrentView(Screen); });
}

void Scenario::ShortTransfer(unsigned nth, FaultTarget target) {
    shortTransfer = nth;
    shortTarget = target;
}

void Scenario::CancelAtPageEnd(unsigned nth) { cancelAt = nth; }

void Scenario::Step(const std::string& title, const std::function<void()>& what) {
    const auto before = Files();
    ResetRecording();
    SetRecordedRepeatsFolded(true);
    SetRecordedClientBottom(clientBottom);
    SetRecordedVerticalResolution(printerResolution);
    out += "== " + title + (shortTransfer ? " (transfer " + std::to_string(shortTransfer) + " short)" : "") +
           (cancelAt ? " (Annuler at page end " + std::to_string(cancelAt) + ")" : "") + "\n";
    if (shortTransfer) FaultArmShortTransfer(shortTransfer, shortTarget);
    pageEndsToCancel = cancelAt;
    SetRecordedPageEndAction(CountPageEndToCancel);
    what();
    FaultDisarm();
    shortTransfer = 0;
    cancelAt = 0;
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
