// The resources of chkort.exe, read back in-process: this program links the
// same compiled script, so what it loads is what chkort.exe loads. Texts are
// compared as Windows-1252 bytes (literals here are compiled to cp1252), and
// ids as plain numbers, independently of resource.h.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "resources/version.h"

namespace {

HINSTANCE Self() { return GetModuleHandleA(nullptr); }

// The A functions convert through the ANSI code page; the expected bytes
// below only mean something when that page is Windows-1252.
void RequireCp1252()
{
    ASSERT_EQ(GetACP(), 1252u) << "the ANSI code page must be Windows-1252";
}

// A resource text as cp1252 bytes; a character outside cp1252 fails rather
// than turning into '?'.
std::string ToCp1252(const wchar_t* text, size_t length)
{
    if (length == 0) return {};
    std::string out(length * 2, '\0');
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(length), out.data(),
                                static_cast<int>(out.size()), nullptr, &lossy);
    EXPECT_FALSE(lossy) << "text not representable in Windows-1252";
    out.resize(n > 0 ? n : 0);
    return out;
}

// ---------------------------------------------------------------- strings

TEST(Strings, ApplicationAndClassNames)
{
    RequireCp1252();
    char text[100];
    ASSERT_EQ(LoadStringA(Self(), 128, text, sizeof text), 6);
    EXPECT_STREQ(text, "ChkOrt");
    ASSERT_EQ(LoadStringA(Self(), 132, text, sizeof text), 6);
    EXPECT_STREQ(text, "CHKORT");
}

// ---------------------------------------------------------------- menu

struct MenuLine {
    UINT id; // 0: separator
    const char* text;
};

const MenuLine kFichier[] = {
    {102, "Visualisation de la fiche clinique à partir du début"},
    {103, "Visualisation de la fiche clinique à partir de la fin"},
    {104, "Visualisation du devis à partir du début"},
    {105, "Visualisation du devis à partir de la fin"},
    {106, "Visualisation du schéma dentaire"},
    {0, nullptr},
    {107, "Correction d'une ligne en fiche clinique à partir du début"},
    {108, "Correction d'une ligne en devis à partir du début"},
    {118, "Correction d'une ligne en Comptabilité"},
    {0, nullptr},
    {109, "Correction du Firstrec pour clinique"},
    {110, "Correction du Firstrec pour devis"},
    {111, "Correction du Firstrec pour schéma dentaire"},
    {0, nullptr},
    {112, "Test du Fichier clinique"},
    {115, "Test du Fichier devis"},
    {122, "RAZ Solde patient"},
    {123, "Supprimer facturation Ordonnance"},
    {121, "Changer le numero du user"},
    {127, "Changer le numero du dessin"},
    {0, nullptr},
    {116, "Visualisation du Fichier Clinique"},
    {117, "Visualisation du Fichier Devis"},
    {119, "Visualisation du Fichier comptabilité"},
    {0, nullptr},
    {120, "Test de taille des fichiers"},
    {125, "Supprimer Lien compta en Clinique"},
    {0, nullptr},
    {126, "Changer la couleur de la ligne en clinique"},
    {0, nullptr},
    {124, "Sortir"},
};

const MenuLine kOptions[] = {
    {113, "Corriger"},
    {114, "Imprimer"},
};

class Menu : public ::testing::Test {
protected:
    void SetUp() override
    {
        RequireCp1252();
        menu = LoadMenuA(Self(), MAKEINTRESOURCEA(132));
        ASSERT_NE(menu, nullptr);
    }
    void TearDown() override
    {
        if (menu) DestroyMenu(menu);
    }

    std::string Text(HMENU m, UINT position)
    {
        char text[256] = {};
        GetMenuStringA(m, position, text, sizeof text, MF_BYPOSITION);
        return text;
    }

    // Every line of a popup, in order: ids, texts, separators, no further
    // popup, and no command greyed, disabled or checked (separators are
    // greyed by the menu code itself).
    template <size_t N>
    void ExpectPopup(HMENU popup, const MenuLine (&lines)[N])
    {
        ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(N));
        for (UINT i = 0; i < N; ++i) {
            SCOPED_TRACE(testing::Message() << "line " << i);
            MENUITEMINFOA info = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU;
            ASSERT_TRUE(GetMenuItemInfoA(popup, i, TRUE, &info));
            EXPECT_EQ(info.hSubMenu, nullptr);
            if (lines[i].text == nullptr) {
                EXPECT_TRUE(info.fType & MFT_SEPARATOR);
                continue;
            }
            EXPECT_FALSE(info.fType & MFT_SEPARATOR);
            EXPECT_EQ(info.fState & (MFS_GRAYED | MFS_DISABLED | MFS_CHECKED), 0u);
            EXPECT_EQ(info.wID, lines[i].id);
            EXPECT_EQ(Text(popup, i), lines[i].text);
        }
    }

    HMENU menu = nullptr;
};

TEST_F(Menu, TwoPopupsFichierThenOptions)
{
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    EXPECT_EQ(Text(menu, 0), "&Fichier");
    EXPECT_EQ(Text(menu, 1), "Options");
    EXPECT_NE(GetSubMenu(menu, 0), nullptr);
    EXPECT_NE(GetSubMenu(menu, 1), nullptr);
    EXPECT_EQ(GetMenuState(menu, 0, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED), 0u);
    EXPECT_EQ(GetMenuState(menu, 1, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED), 0u);
}

TEST_F(Menu, FichierItemsInOrderWithSeparators) { ExpectPopup(GetSubMenu(menu, 0), kFichier); }

TEST_F(Menu, OptionsCorrigerThenImprimer) { ExpectPopup(GetSubMenu(menu, 1), kOptions); }

// ---------------------------------------------------------------- accelerators

using Key = std::tuple<int, int, int>; // fVirt, key, command

std::vector<Key> ExpectedAccelerators()
{
    std::vector<Key> keys;
    for (int i = 0; i < 10; ++i) keys.emplace_back(FVIRTKEY, VK_F1 + i, 1001 + i);
    const Key others[] = {
        {FVIRTKEY, VK_F11, 1304},
        {FVIRTKEY, VK_F12, 1305},
        {FVIRTKEY, VK_UP, 1011},
        {FVIRTKEY, VK_DOWN, 1012},
        {FVIRTKEY, VK_RIGHT, 1013},
        {FVIRTKEY, VK_LEFT, 1014},
        {FVIRTKEY, VK_RETURN, 1030},
        {FVIRTKEY | FCONTROL, VK_RETURN, 1036},
        {FVIRTKEY, VK_ESCAPE, 1029},
        {FVIRTKEY | FALT, 'R', 1034},
        {FVIRTKEY | FALT, 'D', 1037},
        {FVIRTKEY | FALT, 'F', 1039},
        {FVIRTKEY | FALT, 'C', 1035},
        {FVIRTKEY | FALT, 'O', 1038},
        {FVIRTKEY | FALT, 'I', 1033},
        {FVIRTKEY | FCONTROL, 'Z', 1301},
        // A typed character, not a key: superscript two.
        {0, static_cast<unsigned char>("²"[0]), 1049},
    };
    keys.insert(keys.end(), std::begin(others), std::end(others));
    std::sort(keys.begin(), keys.end());
    return keys;
}

TEST(Accelerators, TableOneHoldsExactlyTheTwentySevenEntries)
{
    RequireCp1252();
    HACCEL table = LoadAcceleratorsA(Self(), MAKEINTRESOURCEA(1));
    ASSERT_NE(table, nullptr);
    ACCEL entries[64];
    int count = CopyAcceleratorTableA(table, entries, 64);
    ASSERT_EQ(count, 27);
    std::vector<Key> actual;
    for (int i = 0; i < count; ++i) {
        int key = entries[i].key;
        // Wine widens a character key through a signed char: 0xB2 comes back
        // as 0xFFB2. Only the low byte is the cp1252 character.
        if (!(entries[i].fVirt & FVIRTKEY)) key &= 0xFF;
        actual.emplace_back(entries[i].fVirt, key, entries[i].cmd);
    }
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(actual, ExpectedAccelerators());
    DestroyAcceleratorTable(table);
}

// The stored entry itself: a character entry keyed by U+00B2, which is the
// same character as cp1252 0xB2, and not a byte of its UTF-8 form.
TEST(Accelerators, SuperscriptTwoIsStoredAsTheCharacterB2)
{
    HRSRC found = FindResourceA(Self(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(9)); // RT_ACCELERATOR
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(SizeofResource(Self(), found), 27u * 8u);
    auto words = static_cast<const WORD*>(LockResource(LoadResource(Self(), found)));
    ASSERT_NE(words, nullptr);
    int matches = 0;
    for (int i = 0; i < 27; ++i) {
        const WORD* e = words + 4 * i; // flags, key, command, padding
        EXPECT_EQ((e[0] & 0x80) != 0, i == 26) << "end mark on the last entry only";
        if (e[2] != 1049) continue;
        ++matches;
        EXPECT_EQ(e[0] & 0x7F, 0) << "no VIRTKEY, no modifier";
        EXPECT_EQ(e[1], 0x00B2);
    }
    EXPECT_EQ(matches, 1);
}

// ---------------------------------------------------------------- dialogs

struct Control {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    WORD atom; // predefined class: 0x80 button, 0x81 edit, 0x82 static
    std::string text;
};

struct Dialog {
    DWORD style, exStyle;
    short x, y, cx, cy;
    bool hasMenu, hasClass;
    std::string title;
    WORD pointSize = 0;
    std::string face;
    std::vector<Control> controls;
};

constexpr WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82;

// Reads a DLGTEMPLATE and its items, as the dialog manager does.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : p(data), begin(data), end(data + size) {}

    bool Read(Dialog& d)
    {
        WORD count;
        if (!Dword(d.style) || !Dword(d.exStyle) || !Word(count) || !Short(d.x) || !Short(d.y) || !Short(d.cx) ||
            !Short(d.cy))
            return false;
        WORD ordinal;
        std::string name;
        if (!NameOrOrdinal(ordinal, name)) return false;
        d.hasMenu = ordinal != 0 || !name.empty();
        if (!NameOrOrdinal(ordinal, name)) return false;
        d.hasClass = ordinal != 0 || !name.empty();
        if (!String(d.title)) return false;
        if (d.style & DS_SETFONT)
            if (!Word(d.pointSize) || !String(d.face)) return false;
        for (WORD i = 0; i < count; ++i) {
            Control c;
            Align();
            DWORD exStyle;
            if (!Dword(c.style) || !Dword(exStyle) || !Short(c.x) || !Short(c.y) || !Short(c.cx) || !Short(c.cy) ||
                !Word(c.id))
                return false;
            std::string className;
            if (!NameOrOrdinal(c.atom, className) || !className.empty()) return false;
            WORD textOrdinal;
            if (!NameOrOrdinal(textOrdinal, c.text) || textOrdinal != 0) return false;
            WORD extra;
            if (!Word(extra)) return false;
            p += extra;
            d.controls.push_back(c);
        }
        return p <= end;
    }

private:
    bool Word(WORD& w)
    {
        if (end - p < 2) return false;
        std::memcpy(&w, p, 2);
        p += 2;
        return true;
    }
    bool Short(short& s)
    {
        WORD w;
        if (!Word(w)) return false;
        s = static_cast<short>(w);
        return true;
    }
    bool Dword(DWORD& d)
    {
        if (end - p < 4) return false;
        std::memcpy(&d, p, 4);
        p += 4;
        return true;
    }
    bool String(std::string& s)
    {
        std::wstring w;
        WORD c;
        while (Word(c) && c != 0) w.push_back(static_cast<wchar_t>(c));
        if (p > end) return false;
        s = ToCp1252(w.data(), w.size());
        return true;
    }
    // 0xFFFF then an ordinal, or a string (empty: neither).
    bool NameOrOrdinal(WORD& ordinal, std::string& name)
    {
        ordinal = 0;
        name.clear();
        if (end - p < 2) return false;
        if (p[0] == 0xFF && p[1] == 0xFF) {
            p += 2;
            return Word(ordinal);
        }
        return String(name);
    }
    void Align() { p = begin + ((p - begin + 3) & ~static_cast<ptrdiff_t>(3)); }

    const BYTE* p;
    const BYTE* begin;
    const BYTE* end;
};

bool LoadDialog(const char* name, Dialog& d)
{
    HRSRC found = FindResourceA(Self(), name, MAKEINTRESOURCEA(5)); // RT_DIALOG
    if (!found) return false;
    auto data = static_cast<const BYTE*>(LockResource(LoadResource(Self(), found)));
    return data && TemplateReader(data, SizeofResource(Self(), found)).Read(d);
}

struct InputDialog {
    const char* name;
    const char* title;
    short cx, cy;
    std::vector<const char*> labels; // one per edit, edits 1000, 1001, ...
    const char* ok;
};

const InputDialog kInputDialogs[] = {
    {"NUMERO", "Numéro du patient", 187, 95, {"Veuillez saisir le numéro du patient à visualiser"}, "Continuer"},
    {"VISUAL",
     "Visualisation du Fichier Clinique ou Devis",
     187,
     95,
     {"Veuillez saisir le numéro de ligne à visualiser"},
     "Visualiser"},
    {"CHANGERECORD",
     "Correction d'un enregistrement en Fiche clinique ou en Devis",
     237,
     122,
     {"Numéro du patient", "Numéro de la ligne à corriger", "Suivant", "Précédant"},
     "Corriger"},
    {"CLINIQUE",
     "Correction du Firstrec - Fiche Clinique",
     187,
     95,
     {"Numéro du patient", "Début acte", "Fin acte"},
     "Corriger"},
    {"DEVIS",
     "Correction du Firstrec - Devis",
     187,
     95,
     {"Numéro du patient", "Début du devis", "Fin du devis"},
     "Corriger"},
    {"SCHEMA",
     "Correction du Firstrec - Schéma dentaire",
     187,
     95,
     {"Numéro du patient", "Début du schéma dentaire"},
     "Corriger"},
    {"LIGNE",
     "Correction du dossier",
     187,
     95,
     {"Veuillez saisir le numéro de la ligne à corriger :"},
     "Corriger"},
    {"NUMUSER", "Modification n° du user", 187, 95, {"Ancien n°", "Nouveau n°"}, "Valider"},
    {"NUMDESIGN", "Changement de n° du dessin", 187, 95, {"Ancien n°", "Nouveau n°"}, "Valider"},
    {"COLORCHANGE", "Modification n° du user", 187, 95, {"Ancienne couleur", "Nouvvelle couleur"}, "Valider"},
};

void PrintTo(const InputDialog& d, std::ostream* os) { *os << d.name; }

class InputDialogs : public ::testing::TestWithParam<InputDialog> {};

TEST_P(InputDialogs, FrameTitleAndFont)
{
    const InputDialog& want = GetParam();
    Dialog d;
    ASSERT_TRUE(LoadDialog(want.name, d));
    EXPECT_EQ(d.style, static_cast<DWORD>(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.x, 100);
    EXPECT_EQ(d.y, 150);
    EXPECT_EQ(d.cx, want.cx);
    EXPECT_EQ(d.cy, want.cy);
    EXPECT_FALSE(d.hasMenu);
    EXPECT_FALSE(d.hasClass);
    EXPECT_EQ(d.title, want.title);
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.face, "MS Sans Serif");
}

// Each label is a left-aligned static to the left of its edit, on its row;
// edits are single-line, bordered, scrolling, open to any character.
TEST_P(InputDialogs, LabelledEdits)
{
    const InputDialog& want = GetParam();
    Dialog d;
    ASSERT_TRUE(LoadDialog(want.name, d));
    std::vector<Control> labels, edits;
    for (const Control& c : d.controls) {
        if (c.atom == kStatic) labels.push_back(c);
        if (c.atom == kEdit) edits.push_back(c);
    }
    ASSERT_EQ(edits.size(), want.labels.size());
    ASSERT_EQ(labels.size(), want.labels.size());
    for (size_t i = 0; i < edits.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "edit " << i);
        const Control& e = edits[i];
        const Control& l = labels[i];
        EXPECT_EQ(e.id, 1000 + i);
        EXPECT_EQ(e.style & (WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL),
                  static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL));
        EXPECT_EQ(e.style & (ES_MULTILINE | ES_NUMBER | ES_READONLY | ES_PASSWORD | WS_DISABLED), 0u);
        EXPECT_EQ(l.text, want.labels[i]);
        EXPECT_EQ(l.id, 0xFFFF);
        EXPECT_EQ(l.style & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT));
        EXPECT_FALSE(l.style & WS_TABSTOP);
        EXPECT_LE(l.x + l.cx, e.x) << "label left of its edit";
        EXPECT_TRUE(l.y < e.y + e.cy && e.y < l.y + l.cy) << "label on its edit's row";
    }
}

TEST_P(InputDialogs, DefaultOkThenCancelOnTheBottomRow)
{
    const InputDialog& want = GetParam();
    Dialog d;
    ASSERT_TRUE(LoadDialog(want.name, d));
    std::vector<Control> buttons;
    int lowestOther = 0;
    for (const Control& c : d.controls) {
        if (c.atom == kButton)
            buttons.push_back(c);
        else
            lowestOther = std::max(lowestOther, c.y + c.cy);
    }
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_EQ(buttons[0].id, IDOK);
    EXPECT_EQ(buttons[0].text, want.ok);
    EXPECT_EQ(buttons[0].style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(buttons[1].id, IDCANCEL);
    EXPECT_EQ(buttons[1].text, "Annuler");
    EXPECT_EQ(buttons[1].style & BS_TYPEMASK, static_cast<DWORD>(BS_PUSHBUTTON));
    for (const Control& b : buttons) {
        EXPECT_TRUE(b.style & WS_TABSTOP);
        EXPECT_EQ(b.y, buttons[0].y) << "one row";
        EXPECT_GE(b.y, lowestOther) << "below labels and edits";
    }
    EXPECT_LT(buttons[0].x + buttons[0].cx, buttons[1].x) << "OK left of Annuler";
}

// Tab goes through the edits by id, then the buttons; nothing else is in
// the template and everything lies inside the frame.
TEST_P(InputDialogs, TabOrderAndNothingElse)
{
    const InputDialog& want = GetParam();
    Dialog d;
    ASSERT_TRUE(LoadDialog(want.name, d));
    EXPECT_EQ(d.controls.size(), 2 * want.labels.size() + 2);
    std::vector<int> tabOrder, expected;
    for (size_t i = 0; i < want.labels.size(); ++i) expected.push_back(1000 + static_cast<int>(i));
    expected.push_back(IDOK);
    expected.push_back(IDCANCEL);
    for (const Control& c : d.controls) {
        EXPECT_TRUE(c.atom == kButton || c.atom == kEdit || c.atom == kStatic) << c.atom;
        EXPECT_TRUE(c.style & WS_VISIBLE);
        if (c.style & WS_TABSTOP) tabOrder.push_back(c.id);
        EXPECT_GE(c.x, 0);
        EXPECT_GE(c.y, 0);
        EXPECT_LE(c.x + c.cx, d.cx) << c.text;
        EXPECT_LE(c.y + c.cy, d.cy) << c.text;
    }
    EXPECT_EQ(tabOrder, expected);
}

INSTANTIATE_TEST_SUITE_P(Templates, InputDialogs, ::testing::ValuesIn(kInputDialogs),
                         [](const ::testing::TestParamInfo<InputDialog>& info) { return info.param.name; });

// The program names some templates in mixed case; lookups ignore case.
TEST(DialogNames, MixedCaseNamesFindTheTemplates)
{
    for (const char* name : {"Numero", "Changerecord", "Ligne", "AbortDlg"}) {
        SCOPED_TRACE(name);
        Dialog d;
        EXPECT_TRUE(LoadDialog(name, d));
    }
}

TEST(AbortDialog, VisiblePopupWithoutFontOfItsOwn)
{
    Dialog d;
    ASSERT_TRUE(LoadDialog("AbortDlg", d));
    EXPECT_EQ(d.style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.x, 103);
    EXPECT_EQ(d.y, 99);
    EXPECT_EQ(d.cx, 120);
    EXPECT_EQ(d.cy, 40);
    EXPECT_FALSE(d.hasMenu);
    EXPECT_FALSE(d.hasClass);
    EXPECT_EQ(d.title, "TEST DU FICHIER");
}

TEST(AbortDialog, CentredNoticeAndDefaultAnnuler)
{
    Dialog d;
    ASSERT_TRUE(LoadDialog("AbortDlg", d));
    ASSERT_EQ(d.controls.size(), 2u);

    const Control& notice = d.controls[0];
    EXPECT_EQ(notice.atom, kStatic);
    EXPECT_EQ(notice.style & SS_TYPEMASK, static_cast<DWORD>(SS_CENTER));
    EXPECT_EQ(notice.id, 0xFFFF);
    EXPECT_EQ(std::make_tuple(notice.x, notice.y, notice.cx, notice.cy), std::make_tuple(4, 6, 120, 12));
    EXPECT_EQ(notice.text, "Impression en cours");

    const Control& cancel = d.controls[1];
    EXPECT_EQ(cancel.atom, kButton);
    EXPECT_EQ(cancel.style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_TRUE(cancel.style & WS_TABSTOP);
    EXPECT_EQ(cancel.id, 1);
    EXPECT_EQ(std::make_tuple(cancel.x, cancel.y, cancel.cx, cancel.cy), std::make_tuple(44, 22, 32, 14));
    EXPECT_EQ(cancel.text, "Annuler");
}

// ---------------------------------------------------------------- icons

TEST(Icons, LargeAndSmallLoadAtTheirSizes)
{
    const struct {
        int id, size;
    } icons[] = {{130, 32}, {130, 48}, {131, 16}};
    for (auto icon : icons) {
        SCOPED_TRACE(testing::Message() << icon.id << " at " << icon.size);
        HRSRC group = FindResourceA(Self(), MAKEINTRESOURCEA(icon.id), MAKEINTRESOURCEA(14)); // RT_GROUP_ICON
        ASSERT_NE(group, nullptr);
        auto dir = static_cast<BYTE*>(LockResource(LoadResource(Self(), group)));
        int image = LookupIconIdFromDirectoryEx(dir, TRUE, icon.size, icon.size, LR_DEFAULTCOLOR);
        ASSERT_NE(image, 0);
        HRSRC bits = FindResourceA(Self(), MAKEINTRESOURCEA(image), MAKEINTRESOURCEA(3)); // RT_ICON
        ASSERT_NE(bits, nullptr);
        auto header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(Self(), bits)));
        EXPECT_EQ(header->biWidth, icon.size) << "an image drawn at this size, not a scaled one";
        EXPECT_EQ(header->biBitCount, 32);
    }
}

// ---------------------------------------------------------------- version block

class Version : public ::testing::Test {
protected:
    void SetUp() override
    {
        RequireCp1252();
        char path[MAX_PATH];
        ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path, &ignored);
        ASSERT_GT(size, 0u);
        block.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));
    }

    std::string Value(const char* name)
    {
        std::string query = std::string("\\StringFileInfo\\040C04E4\\") + name;
        char* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
            return "<missing>";
        return value;
    }

    std::vector<BYTE> block;
};

TEST_F(Version, FixedPartFromTheVersionHeader)
{
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(CHKORT_VERSION_MAJOR << 16 | CHKORT_VERSION_MINOR));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(CHKORT_VERSION_PATCH << 16));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags, 0u);
}

// French in cp1252, the language the other resources carry too.
TEST_F(Version, TranslationIsFrenchCp1252LikeTheResources)
{
    WORD* pair = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pair), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(pair[0], 0x040C);
    EXPECT_EQ(pair[1], 1252);
    const WORD french = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
    EXPECT_NE(FindResourceExA(Self(), MAKEINTRESOURCEA(4), MAKEINTRESOURCEA(132), french), nullptr); // RT_MENU
    EXPECT_NE(FindResourceExA(Self(), MAKEINTRESOURCEA(5), "NUMERO", french), nullptr);             // RT_DIALOG
}

TEST_F(Version, NamesAndDescription)
{
    EXPECT_EQ(Value("InternalName"), "chkort");
    EXPECT_EQ(Value("OriginalFilename"), "chkort.exe");
    EXPECT_EQ(Value("FileVersion"), CHKORT_VERSION_TEXT);
    EXPECT_EQ(Value("ProductVersion"), CHKORT_VERSION_TEXT);
    EXPECT_EQ(Value("FileDescription"), "Utilitaire de vérification et de réparation des fichiers ORTAVO");
}

} // namespace
