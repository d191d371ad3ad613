// What the program relies on in every shipped language module: every text, the three templates
// with their control ids, classes, styles and geometry, the scan clip, and the three exports.
// Each check runs once per module, so a translation is held to the same contract as English.
#include "common/guards.h"
#include "common/resource_ids.h"
#include "envdialog/environment_dialog.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "session/shared_state.h"
#include "../../langpack/langpack_ids.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Module {
    const char* file;
    const char* quitWord;  // in the shutdown dialog's quit choice, as the operator reads it
};
constexpr Module kShipped[] = {{"LangPack.dll", "Quit"}, {"LangPack_de.dll", "beenden"}};
const Module* g_current = &kShipped[0];

HMODULE Load(const char* file)
{
    static std::map<std::string, HMODULE> loaded;
    HMODULE& module = loaded[file];
    if (!module) module = LoadLibraryExA((BinFolder() + file).c_str(), nullptr, 0);
    return module;
}

HMODULE LangPack() { return Load(g_current->file); }

// gtest_add_tests cannot list parameterised cases, so each case loops over the modules itself.
template <class Check>
void ForEachModule(Check check)
{
    for (const Module& module : kShipped) {
        SCOPED_TRACE(module.file);
        g_current = &module;
        check();
    }
    g_current = &kShipped[0];
}

class LangPackTest : public testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        for (const Module& module : kShipped) {
            ASSERT_NE(Load(module.file), nullptr) << "cannot load " << BinFolder() << module.file;
        }
    }
};

INT_PTR CALLBACK InertProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// A template created hidden from the test's point of view: destroyed when the case ends.
class TemplateWindow {
public:
    TemplateWindow(int id, DLGPROC proc = InertProc)
        : dialog_(CreateDialogParamA(LangPack(), MAKEINTRESOURCEA(id), nullptr, proc, 0)) {}
    ~TemplateWindow() { if (dialog_) DestroyWindow(dialog_); }
    HWND get() const { return dialog_; }

private:
    HWND dialog_;
};

std::string ClassOf(HWND dialog, int id)
{
    char name[64] = "";
    GetClassNameA(GetDlgItem(dialog, id), name, sizeof name);
    return name;
}

LONG StyleOf(HWND dialog, int id) { return GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE); }

RECT RectOf(HWND dialog, int id)
{
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void ExpectControls(HWND dialog, const std::vector<std::pair<int, const char*>>& controls)
{
    for (const auto& [id, className] : controls) {
        EXPECT_NE(GetDlgItem(dialog, id), nullptr) << "control " << id;
        EXPECT_STRCASEEQ(ClassOf(dialog, id).c_str(), className) << "control " << id;
    }
}

void ExpectDisabledDefaultOk(HWND dialog)
{
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_EQ(StyleOf(dialog, IDOK) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

std::vector<std::string> ExportNames(HMODULE module)
{
    auto base = reinterpret_cast<const BYTE*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (entry.VirtualAddress == 0) return {};
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        result.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    }
    return result;
}

// Control styles as written in a DIALOGEX template, before the controls adjust them.
std::map<int, DWORD> TemplateStyles(int dialogId)
{
    HRSRC found = FindResourceA(LangPack(), MAKEINTRESOURCEA(dialogId), MAKEINTRESOURCEA(5));  // RT_DIALOG
    auto p = found ? static_cast<const WORD*>(LockResource(LoadResource(LangPack(), found))) : nullptr;
    std::map<int, DWORD> styles;
    if (!p || p[0] != 1 || p[1] != 0xFFFF) return styles;  // not a DIALOGEX
    auto skipName = [](const WORD* w) {
        if (*w == 0xFFFF) return w + 2;
        while (*w) ++w;
        return w + 1;
    };
    const DWORD dialogStyle = *reinterpret_cast<const DWORD*>(p + 6);
    const WORD count = p[8];
    p = skipName(skipName(skipName(p + 13)));  // menu, class, title
    if (dialogStyle & DS_SETFONT) p = skipName(p + 3);
    for (WORD i = 0; i < count; ++i) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3));
        const DWORD style = *reinterpret_cast<const DWORD*>(p + 4);
        const int id = static_cast<int>(*reinterpret_cast<const DWORD*>(p + 10));
        styles[id] = style;
        p = skipName(skipName(p + 12));  // class, title
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p + 1) + *p);
    }
    return styles;
}

// The text, in the control's font, fits on the control's one line.
void ExpectFits(HWND line, const std::string& text)
{
    HDC dc = GetDC(line);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(line, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, oldFont);
    ReleaseDC(line, dc);
    RECT client{};
    GetClientRect(line, &client);
    EXPECT_LE(extent.cx, client.right) << text;
}

// Every resource of one type, by name and language, as the bytes the loader hands out.
using ResourceBytes = std::map<std::pair<std::string, WORD>, std::string>;

BOOL CALLBACK CollectLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR found)
{
    HRSRC info = FindResourceExA(module, type, name, language);
    HGLOBAL data = info ? LoadResource(module, info) : nullptr;
    const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
    const std::string key = IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name)) : name;
    (*reinterpret_cast<ResourceBytes*>(found))[{key, language}] =
        bytes ? std::string(bytes, SizeofResource(module, info)) : std::string("(unreadable)");
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR found)
{
    EnumResourceLanguagesA(module, type, name, CollectLanguage, found);
    return TRUE;
}

ResourceBytes ResourcesOf(HMODULE module, LPCSTR type)
{
    ResourceBytes found;
    EnumResourceNamesA(module, type, CollectName, reinterpret_cast<LONG_PTR>(&found));
    return found;
}

// A DIALOGEX template with each control's class as its name in capitals, everything else as it
// is: rc.exe and zig rc store a predefined class as its atom and another as written, windres
// every class as a name in capitals. Each control becomes the same window either way.
std::string CanonicalTemplate(const std::string& bytes)
{
    const auto* begin = reinterpret_cast<const WORD*>(bytes.data());
    const WORD* end = begin + bytes.size() / 2;
    const WORD* p = begin;
    std::string out;
    auto put = [&](WORD w) { out.append(reinterpret_cast<const char*>(&w), sizeof w); };
    auto copy = [&](size_t count) { for (; count && p < end; --count) put(*p++); };
    auto copyText = [&] { while (p < end && *p) put(*p++); copy(1); };
    auto copyNameOrOrdinal = [&] { (p < end && *p == 0xFFFF) ? copy(2) : copyText(); };
    if (bytes.size() < 26) return bytes;
    const DWORD style = MAKELONG(begin[6], begin[7]);
    const WORD items = begin[8];
    copy(13);  // version, signature, help id, extended style, style, count, position, size
    copyNameOrOrdinal();  // menu
    copyNameOrOrdinal();  // class
    copyText();           // caption
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        copy(3);  // size, weight, italic and character set
        copyText();
    }
    static const char* const predefined[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    for (WORD item = 0; item < items && p < end; ++item) {
        if ((p - begin) % 2) ++p;  // DWORD alignment, which differs as the classes' lengths do
        copy(12);  // help id, extended style, style, position, size, id
        std::string name;
        if (p < end && *p == 0xFFFF && p + 1 < end) {
            const WORD atom = p[1];
            p += 2;
            name = atom >= 0x80 && atom <= 0x85 ? predefined[atom - 0x80] : "#" + std::to_string(atom);
        } else {
            for (; p < end && *p; ++p) name += static_cast<char>(*p < 128 ? toupper(*p) : '?');
            if (p < end) ++p;
        }
        for (char c : name) put(static_cast<WORD>(c));
        put(0);
        copyNameOrOrdinal();  // text
        const WORD extra = p < end ? *p : 0;
        copy(1 + (extra + 1) / 2);
    }
    return out;
}

BOOL CALLBACK CollectAvi(HMODULE, LPCSTR, LPSTR name, LONG_PTR found)
{
    reinterpret_cast<std::vector<LPCSTR>*>(found)->push_back(name);
    return TRUE;
}

}  // namespace

TEST_F(LangPackTest, EveryContractStringIsPresent)
{
    ForEachModule([&] {
        const UINT ids[] = {IDS_ERROR_HINT, IDS_ERROR_CAPTION, IDS_NOT_NT, IDS_SETTINGS_MISSING,
                            IDS_DISPLAY_TEST_FAILED, IDS_DISPLAY_TEST_CAPTION, IDS_BROWSE_NOT_FIXED,
                            IDS_BROWSE_NO_HIVES, IDS_BROWSE_HIVE_LABEL, IDS_BROWSE_TITLE, IDS_COLUMN_FOLDER,
                            IDS_COLUMN_DESCRIPTION, IDS_NO_TARGET_FOLDER, IDS_NO_TARGET_DESCRIPTION,
                            IDS_TOGGLE_COLLAPSE, IDS_TOGGLE_EXPAND, IDS_UNKNOWN_PRODUCT, IDS_SCANNING_DRIVE,
                            IDS_SETPASS_TITLE, IDS_SETPASS_HEADING, IDS_SETPASS_MISMATCH, IDS_LOGON_WRONG,
                            IDS_LOGON_LAST_WRONG, IDS_SETPASS_DONE, IDS_SETPASS_UNCHANGED,
                            IDS_ARCH_X86, IDS_ARCH_X64, IDS_ARCH_ARM64, IDS_LOCKED_DESCRIPTION,
                            IDS_UNLOCK_BUTTON, IDS_UNLOCK_MALFORMED, IDS_UNLOCK_REFUSED, IDS_UNLOCK_NO_TOOLS,
                            IDS_UNLOCK_NO_KEY_ID, IDS_UNLOCK_CAPTION, IDS_LOAD_DRIVER_BUTTON, IDS_DRIVER_CAPTION,
                            IDS_DRIVER_FILTER, IDS_DRIVER_LOADED, IDS_DRIVER_REFUSED, IDS_DRIVER_NO_TOOL,
                            IDS_NETWORK_LABEL, IDS_NETWORK_START, IDS_NETWORK_NOT_STARTED, IDS_NETWORK_STARTING,
                            IDS_NETWORK_NO_ADAPTER, IDS_NETWORK_WAITING, IDS_NETWORK_UNSUPPORTED,
                            IDS_PASSWORD_LAYOUT_LABEL, IDS_RUNNING_PE, IDS_COLUMN_VOLUME, IDS_TARGET_ZONE,
                            IDS_DECIMAL_POINT, IDS_VOLUME_HIBERNATED};
        for (UINT id : ids) {
            char text[1024] = "";
            EXPECT_GT(LoadStringA(LangPack(), id, text, sizeof text), 0) << "string " << id;
        }
        // The program appends "c:\" to the scan prefix as it is.
        char prefix[256] = "";
        LoadStringA(LangPack(), IDS_SCANNING_DRIVE, prefix, sizeof prefix);
        EXPECT_EQ(std::string(prefix).back(), ' ');
    });
}

TEST_F(LangPackTest, ExportsExactlyTheThreeUndecoratedEntryPoints)
{
    ForEachModule([&] {
        std::vector<std::string> names = ExportNames(LangPack());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"InitShutdown", "ShowShutdownDlg", "ShutdownSystem"}));
        for (const char* name : {"InitShutdown", "ShowShutdownDlg", "ShutdownSystem"}) {
            EXPECT_NE(GetProcAddress(LangPack(), name), nullptr) << name;
        }
    });
}

TEST_F(LangPackTest, PasswordTemplateHasItsControlsAndRowsTheProgramMoves)
{
    ForEachModule([&] {
        TemplateWindow dialog(IDD_PASSWORD);
        ASSERT_NE(dialog.get(), nullptr);
        HWND d = dialog.get();
        ExpectControls(d, {{IDOK, "Button"}, {IDCANCEL, "Button"}, {IDC_PASSWORD_USER, "Static"},
                           {IDC_PASSWORD_USER_LABEL, "Static"}, {IDC_PASSWORD_EDIT, "Edit"},
                           {IDC_PASSWORD_EDIT_LABEL, "Static"}, {IDC_PASSWORD_REPEAT, "Edit"},
                           {IDC_PASSWORD_REPEAT_LABEL, "Static"}, {IDC_PASSWORD_HEADING, "Static"},
                           {IDC_PASSWORD_LAYOUT, "ComboBox"}, {IDC_PASSWORD_LAYOUT_LABEL, "Static"}});
        ExpectDisabledDefaultOk(d);
        EXPECT_TRUE(StyleOf(d, IDC_PASSWORD_USER) & WS_VISIBLE);
        EXPECT_TRUE(StyleOf(d, IDC_PASSWORD_EDIT) & ES_PASSWORD);
        EXPECT_TRUE(StyleOf(d, IDC_PASSWORD_EDIT) & ES_AUTOHSCROLL);
        EXPECT_TRUE(StyleOf(d, IDC_PASSWORD_REPEAT) & ES_PASSWORD);

        const RECT heading = RectOf(d, IDC_PASSWORD_HEADING), user = RectOf(d, IDC_PASSWORD_USER),
                   edit = RectOf(d, IDC_PASSWORD_EDIT), repeat = RectOf(d, IDC_PASSWORD_REPEAT), ok = RectOf(d, IDOK);
        // Logon mode hides the repeat row and lifts the buttons by 25 px: that must close the gap exactly.
        EXPECT_EQ(repeat.top - edit.top, 25);
        // Set mode hides the user row and lifts the rest by 25 px. With 13 px per 8 DLU no template
        // puts three rows exactly 25 px apart, so the user row may take one pixel more.
        EXPECT_GE(edit.top - user.top, 25);
        EXPECT_LE(edit.top - user.top, 26);
        // After either lift nothing may overlap what stays above it.
        EXPECT_LE(heading.bottom, edit.top - 25);
        EXPECT_LE(edit.bottom, ok.top - 25);
        EXPECT_LE(user.bottom, edit.top);
        EXPECT_LE(edit.bottom, repeat.top);
        EXPECT_EQ(RectOf(d, IDCANCEL).top, ok.top);
        // The keyboard row lifts with the buttons in both modes.
        const RECT layout = RectOf(d, IDC_PASSWORD_LAYOUT);
        EXPECT_LE(edit.bottom, layout.top - 25);
        EXPECT_LE(layout.bottom, ok.top);
        EXPECT_GE(layout.top, repeat.bottom - 1);
        EXPECT_EQ(StyleOf(d, IDC_PASSWORD_LAYOUT) & 3, CBS_DROPDOWNLIST);
    });
}

TEST_F(LangPackTest, EnvironmentTemplateHasItsControlsAndCollapsibleBand)
{
    ForEachModule([&] {
        TemplateWindow dialog(IDD_ENVIRONMENT);
        ASSERT_NE(dialog.get(), nullptr);
        HWND d = dialog.get();
        const int band[] = {IDC_ENV_LAYOUT_LABEL, IDC_ENV_TIMEZONE_LABEL, IDC_ENV_DISPLAY_LABEL,
                            IDC_ENV_LAYOUT,       IDC_ENV_TIMEZONE,       IDC_ENV_DISPLAY,
                            IDC_ENV_APPLY_LAYOUT, IDC_ENV_APPLY_TIMEZONE, IDC_ENV_APPLY_DISPLAY,
                            IDC_ENV_NETWORK_LABEL, IDC_ENV_NETWORK_STATUS, IDC_ENV_NETWORK_START,
                            IDC_ENV_NETWORK_SETTINGS};
        const int fixed[] = {IDC_ENV_TARGETS, IDC_ENV_FOLDER, IDC_ENV_BROWSE, IDC_ENV_SHELL};
        const int buttons[] = {IDOK, IDCANCEL, IDC_ENV_TOGGLE};
        const int tools[] = {IDC_ENV_LOAD_DRIVER, IDC_ENV_DEVICES, IDC_ENV_COLLECT_LOGS, IDC_ENV_NETWORK_DRIVE};
        ExpectControls(d, {{IDOK, "Button"}, {IDCANCEL, "Button"}, {IDC_ENV_TOGGLE, "Button"},
                           {IDC_ENV_TARGETS, WC_LISTVIEWA}, {IDC_ENV_FOLDER, "Edit"}, {IDC_ENV_BROWSE, "Button"},
                           {IDC_ENV_SHELL, "ComboBox"}, {IDC_ENV_LAYOUT, "ComboBox"}, {IDC_ENV_TIMEZONE, "ComboBox"},
                           {IDC_ENV_DISPLAY, "ComboBox"}, {IDC_ENV_APPLY_LAYOUT, "Button"},
                           {IDC_ENV_APPLY_TIMEZONE, "Button"}, {IDC_ENV_APPLY_DISPLAY, "Button"},
                           {IDC_ENV_LAYOUT_LABEL, "Static"}, {IDC_ENV_TIMEZONE_LABEL, "Static"},
                           {IDC_ENV_DISPLAY_LABEL, "Static"}, {IDC_ENV_LOAD_DRIVER, "Button"},
                           {IDC_ENV_NETWORK_LABEL, "Static"}, {IDC_ENV_NETWORK_STATUS, "Static"},
                           {IDC_ENV_NETWORK_START, "Button"}, {IDC_ENV_DEVICES, "Button"},
                           {IDC_ENV_COLLECT_LOGS, "Button"}, {IDC_ENV_NETWORK_SETTINGS, "Button"},
                           {IDC_ENV_NETWORK_DRIVE, "Button"}});
        ExpectDisabledDefaultOk(d);
        std::map<int, DWORD> authored = TemplateStyles(IDD_ENVIRONMENT);

        // The program fills the lists in its own order; a sorting style would scramble it.
        const LONG list = StyleOf(d, IDC_ENV_TARGETS);
        EXPECT_EQ(list & LVS_TYPEMASK, LVS_REPORT);
        EXPECT_EQ(list & (LVS_SORTASCENDING | LVS_SORTDESCENDING), 0);
        EXPECT_TRUE(list & LVS_SINGLESEL);
        EXPECT_TRUE(list & LVS_SHOWSELALWAYS);
        for (int id : {IDC_ENV_SHELL, IDC_ENV_LAYOUT, IDC_ENV_TIMEZONE, IDC_ENV_DISPLAY}) {
            EXPECT_EQ(StyleOf(d, id) & 3, CBS_DROPDOWNLIST) << "combo " << id;
            EXPECT_EQ(StyleOf(d, id) & CBS_SORT, 0) << "combo " << id;
            // The created combo box drops WS_VSCROLL from its own style, so the template is read.
            if (id != IDC_ENV_SHELL) {
                EXPECT_TRUE(authored[id] & WS_VSCROLL) << "combo " << id;
            }
        }

        // The tools row above the button row; both stay in the short form.
        const int buttonTop = RectOf(d, IDOK).top;
        const int toolsTop = RectOf(d, IDC_ENV_LOAD_DRIVER).top;
        for (int id : buttons) EXPECT_EQ(RectOf(d, id).top, buttonTop) << "button " << id;
        for (int id : tools) EXPECT_EQ(RectOf(d, id).top, toolsTop) << "tool " << id;
        for (int id : tools) EXPECT_LE(RectOf(d, id).bottom, buttonTop) << "tool " << id;
        for (int i = 1; i < 4; ++i) EXPECT_LT(RectOf(d, tools[i - 1]).right, RectOf(d, tools[i]).left);
        for (HWND child = GetWindow(d, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const int id = GetDlgCtrlID(child);
            if (std::find(std::begin(buttons), std::end(buttons), id) != std::end(buttons)) continue;
            if (std::find(std::begin(tools), std::end(tools), id) != std::end(tools)) continue;
            EXPECT_LE(RectOf(d, id).bottom, toolsTop) << "control " << id << " reaches into the tools row";
        }
        // Collapsing lifts the rows below the band to its place: the band holds all thirteen and
        // nothing that stays, so the gap to the shell row is kept.
        int bandTop = toolsTop;
        for (int id : band) bandTop = std::min<int>(bandTop, RectOf(d, id).top);
        EXPECT_EQ(bandTop, RectOf(d, IDC_ENV_LAYOUT).top);
        for (int id : fixed) EXPECT_LE(RectOf(d, id).bottom, bandTop) << "control " << id << " lies in the band";
    });
}

TEST_F(LangPackTest, ScanTemplateShowsItselfAndPlaysTheClip)
{
    ForEachModule([&] {
        HWND dialog = CreateDialogParamA(LangPack(), MAKEINTRESOURCEA(IDD_SCAN), nullptr, nullptr, 0);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(IsWindowVisible(dialog));
        ExpectControls(dialog, {{IDC_SCAN_STATUS, "Static"}, {IDC_SCAN_ANIMATION, ANIMATE_CLASSA}});
        const LONG style = StyleOf(dialog, IDC_SCAN_ANIMATION);
        EXPECT_EQ(style & (ACS_TRANSPARENT | ACS_AUTOPLAY | ACS_CENTER), ACS_TRANSPARENT | ACS_AUTOPLAY | ACS_CENTER);

        // The longest status the program writes must fit on the line.
        char prefix[256] = "";
        LoadStringA(LangPack(), IDS_SCANNING_DRIVE, prefix, sizeof prefix);
        const std::string status = std::string(prefix) + "c:\\";
        ExpectFits(GetDlgItem(dialog, IDC_SCAN_STATUS), status);

        // Wine does not open the clip named in the template text, so the clip is opened by its id.
        std::vector<LPCSTR> clips;
        EnumResourceNamesA(LangPack(), "AVI", CollectAvi, reinterpret_cast<LONG_PTR>(&clips));
        ASSERT_EQ(clips.size(), 1u);
        HWND animation = GetDlgItem(dialog, IDC_SCAN_ANIMATION);
        EXPECT_TRUE(SendMessageA(animation, ACM_OPENA, 0, reinterpret_cast<LPARAM>(clips[0])));
        EXPECT_TRUE(SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 8)));
        DestroyWindow(dialog);
    });
}

namespace {

enum class ShutdownAnswer { Cancel, Escape, Ok, QuitThenOk };
ShutdownAnswer g_answer;
HWND g_shutdownDialog;
int g_ticksSinceAnswer;
constexpr DWORD kStuck = 0xEE;

BOOL CALLBACK FindDialog(HWND window, LPARAM)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) != "#32770" || !IsWindowVisible(window)) return TRUE;
    g_shutdownDialog = window;
    return FALSE;
}

void CALLBACK AnswerShutdownDialog(HWND, UINT, UINT_PTR, DWORD)
{
    g_shutdownDialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, 0);
    if (!g_shutdownDialog) return;  // not up yet
    HWND d = g_shutdownDialog;
    // An answer the dialog ignored would otherwise hang the whole test run.
    if (g_ticksSinceAnswer > 0) {
        if (++g_ticksSinceAnswer > 100) EndDialog(d, kStuck);
        return;
    }
    g_ticksSinceAnswer = 1;
    switch (g_answer) {
    case ShutdownAnswer::Cancel: SendMessageA(d, WM_COMMAND, IDCANCEL, 0); break;
    case ShutdownAnswer::Escape: {
        // The modal loop maps the key. On a loaded machine the focus may not have arrived yet, and a
        // key posted to no window would be lost, so the dialog itself takes it then.
        HWND focus = GetFocus();
        PostMessageA(focus && (focus == d || IsChild(d, focus)) ? focus : d, WM_KEYDOWN, VK_ESCAPE, 0);
        break;
    }
    case ShutdownAnswer::Ok: SendMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0); break;
    case ShutdownAnswer::QuitThenOk: {
        // The quit choice is the radio button whose text mentions quitting; click it as the operator would.
        for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            char text[256] = "";
            GetWindowTextA(c, text, sizeof text);
            const bool isRadio = (GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
            if (isRadio && std::string(text).find(g_current->quitWord) != std::string::npos) SendMessageA(c, BM_CLICK, 0, 0);
        }
        SendMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0);
        break;
    }
    }
}

DWORD RunShutdownDialog(ShutdownAnswer answer, DWORD setupLoader)
{
    using ShowShutdownDlgFn = DWORD(WINAPI*)(HWND, DWORD);
    auto show = reinterpret_cast<ShowShutdownDlgFn>(
        reinterpret_cast<void*>(GetProcAddress(LangPack(), "ShowShutdownDlg")));
    if (!show) return 0xDEAD;
    g_answer = answer;
    g_ticksSinceAnswer = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerShutdownDialog);
    const DWORD code = show(nullptr, setupLoader) & 0xFF;
    KillTimer(nullptr, timer);
    return code;
}

}  // namespace

TEST_F(LangPackTest, ShutdownDialogReturnsTheChosenCode)
{
    ForEachModule([&] {
        EXPECT_EQ(RunShutdownDialog(ShutdownAnswer::Cancel, FALSE), 7u);
        EXPECT_EQ(RunShutdownDialog(ShutdownAnswer::Escape, FALSE), 7u);
        EXPECT_EQ(RunShutdownDialog(ShutdownAnswer::QuitThenOk, TRUE), 0u);
        // From a setup medium a restart would boot setup again, so power off is the default there.
        EXPECT_EQ(RunShutdownDialog(ShutdownAnswer::Ok, TRUE), 1u);
        EXPECT_EQ(RunShutdownDialog(ShutdownAnswer::Ok, FALSE), 2u);
        // Only the low byte carries the flag.
        EXPECT_EQ(RunShutdownDialog(ShutdownAnswer::Ok, 0x100), 2u);
    });
}

TEST_F(LangPackTest, InitShutdownFlushesAndReturnsPromptly)
{
    ForEachModule([&] {
        using InitShutdownFn = void(WINAPI*)();
        auto init =
            reinterpret_cast<InitShutdownFn>(reinterpret_cast<void*>(GetProcAddress(LangPack(), "InitShutdown")));
        ASSERT_NE(init, nullptr);
        const DWORD start = GetTickCount();
        init();
        EXPECT_LT(GetTickCount() - start, 10000u);
    });
}

namespace {

constexpr UINT kAllStrings[] = {
    IDS_ERROR_HINT, IDS_ERROR_CAPTION, IDS_NOT_NT, IDS_SETTINGS_MISSING, IDS_DISPLAY_TEST_FAILED,
    IDS_DISPLAY_TEST_CAPTION, IDS_BROWSE_NOT_FIXED, IDS_BROWSE_NO_HIVES, IDS_BROWSE_HIVE_LABEL,
    IDS_BROWSE_TITLE, IDS_COLUMN_FOLDER, IDS_COLUMN_DESCRIPTION, IDS_NO_TARGET_FOLDER,
    IDS_NO_TARGET_DESCRIPTION, IDS_TOGGLE_COLLAPSE, IDS_TOGGLE_EXPAND, IDS_UNKNOWN_PRODUCT,
    IDS_SCANNING_DRIVE, IDS_SETPASS_TITLE, IDS_SETPASS_HEADING, IDS_SETPASS_MISMATCH, IDS_LOGON_WRONG,
    IDS_LOGON_LAST_WRONG, IDS_SETPASS_DONE, IDS_SETPASS_UNCHANGED,
    IDS_ARCH_X86, IDS_ARCH_X64, IDS_ARCH_ARM64, IDS_LOCKED_DESCRIPTION, IDS_UNLOCK_BUTTON,
    IDS_UNLOCK_MALFORMED, IDS_UNLOCK_REFUSED, IDS_UNLOCK_NO_TOOLS, IDS_UNLOCK_NO_KEY_ID, IDS_UNLOCK_CAPTION,
    IDS_LOAD_DRIVER_BUTTON, IDS_DRIVER_CAPTION, IDS_DRIVER_FILTER, IDS_DRIVER_LOADED, IDS_DRIVER_REFUSED,
    IDS_DRIVER_NO_TOOL, IDS_NETWORK_LABEL, IDS_NETWORK_START, IDS_NETWORK_NOT_STARTED, IDS_NETWORK_STARTING,
    IDS_NETWORK_NO_ADAPTER, IDS_NETWORK_WAITING, IDS_NETWORK_UNSUPPORTED, IDS_PASSWORD_LAYOUT_LABEL, IDS_RUNNING_PE,
    IDS_COLUMN_VOLUME, IDS_TARGET_ZONE, IDS_DECIMAL_POINT, IDS_VOLUME_HIBERNATED,
    IDS_COLLECT_LOGS_BUTTON, IDS_DEVICES_BUTTON, IDS_COLLECT_BROWSE_TITLE, IDS_COLLECT_CAPTION, IDS_COLLECT_DONE,
    IDS_COLLECT_CANCELLED, IDS_COLLECT_NO_FOLDER, IDS_COLLECT_COUNTS, IDS_COLLECT_STOPPING, IDS_COLLECT_NOT_WRITABLE,
    IDS_DEVICES_SUMMARY, IDS_DEVICES_NONE, IDS_DEVICE_CLASS, IDS_DEVICE_NO_CLASS, IDS_DEVICE_NO_NAME,
    IDS_DEVICE_WORKING, IDS_DEVICE_NO_DRIVER, IDS_DEVICE_FAILED_START, IDS_DEVICE_DISABLED, IDS_DEVICE_PROBLEM,
    IDS_DEVICE_NOT_STARTED, IDS_DEVICE_UNKNOWN, IDS_DEVICE_NO_IDS, IDS_COLLECT_NO_INDEX,
    IDS_SHELL_NOT_STARTED,
    IDS_NET_SETTINGS_BUTTON, IDS_NET_DRIVE_BUTTON, IDS_ADDRESS_CAPTION, IDS_ADDRESS_BAD_ADDRESS,
    IDS_ADDRESS_BAD_PREFIX, IDS_ADDRESS_IS_NETWORK, IDS_ADDRESS_IS_BROADCAST, IDS_GATEWAY_BAD, IDS_GATEWAY_OUTSIDE,
    IDS_GATEWAY_IS_NETWORK, IDS_GATEWAY_IS_BROADCAST, IDS_GATEWAY_IS_ADDRESS, IDS_DNS1_BAD, IDS_DNS2_BAD,
    IDS_ADDRESS_FAILED, IDS_ADDRESS_NO_DNS_CALL, IDS_ADDRESS_NO_ADAPTER, IDS_ADDRESS_STATE, IDS_ADDRESS_DHCP,
    IDS_ADDRESS_FIXED, IDS_ADDRESS_NONE, IDS_DRIVE_CAPTION, IDS_DRIVE_BAD_PATH, IDS_DRIVE_BAD_USER,
    IDS_DRIVE_BAD_LETTER, IDS_DRIVE_NOT_FOUND, IDS_DRIVE_CREDENTIALS, IDS_DRIVE_CONFLICT, IDS_DRIVE_SIGNING,
    IDS_DRIVE_GUEST, IDS_DRIVE_NO_NETWORK, IDS_DRIVE_LETTER_IN_USE, IDS_DRIVE_OTHER, IDS_DRIVE_NO_MPR,
    IDS_DRIVE_DISCONNECT_FAILED, IDS_WAIT_REMAINING, IDS_WAIT_NO_ADAPTER,
    IDS_PROXY_BAD, IDS_PROXY_NO_WINHTTP};

std::wstring StringOf(HMODULE module, UINT id)
{
    wchar_t text[1024] = L"";
    LoadStringW(module, id, text, 1024);
    return text;
}

std::wstring TextOf(HWND window)
{
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

HMODULE English() { return Load(kShipped[0].file); }
HMODULE German() { return Load("LangPack_de.dll"); }

}  // namespace

TEST_F(LangPackTest, GermanModuleIsGermanAndReadInCodePage1252)
{
    const WORD german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
    EXPECT_NE(FindResourceExA(German(), MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(IDS_SETPASS_MISMATCH / 16 + 1), german),
              nullptr);  // RT_STRING block
    EXPECT_NE(FindResourceExA(German(), MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(IDD_ENVIRONMENT), german), nullptr);

    // Each umlaut must arrive as its own character, not as two UTF-8 bytes read in the wrong code page.
    EXPECT_NE(StringOf(German(), IDS_SETPASS_MISMATCH).find(L"Kennw\u00f6rter stimmen nicht \u00fcberein"),
              std::wstring::npos);
    EXPECT_NE(StringOf(German(), IDS_SETPASS_UNCHANGED).find(L"ge\u00e4ndert"), std::wstring::npos);
    EXPECT_NE(StringOf(German(), IDS_ERROR_HINT).find(L"schlie\u00dfen"), std::wstring::npos);
    HWND d = CreateDialogParamW(German(), MAKEINTRESOURCEW(IDD_ENVIRONMENT), nullptr, InertProc, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(TextOf(GetDlgItem(d, IDC_ENV_APPLY_LAYOUT)), L"\u00dcbernehmen");
    DestroyWindow(d);

    // The program reads its texts with LoadStringA, so in a Western code page the byte is 0xFC.
    if (GetACP() == 1252) {
        char text[256] = "";
        LoadStringA(German(), IDS_SETPASS_MISMATCH, text, sizeof text);
        const std::string mismatch = text;
        const size_t at = mismatch.find("stimmen nicht ");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(static_cast<unsigned char>(mismatch[at + 14]), 0xFC);
    }
}

TEST_F(LangPackTest, GermanModuleTranslatesEveryTextButTheNamedOnes)
{
    // The product name, "Installation" (also as the time-zone mark), "ARM64" (the same words in
    // German) and the adapter's state (placeholders only) may stay; nothing else.
    const std::set<UINT> sameStrings = {IDS_ERROR_CAPTION, IDS_COLUMN_DESCRIPTION, IDS_ARCH_ARM64, IDS_TARGET_ZONE,
                                        IDS_ADDRESS_STATE};
    for (UINT id : kAllStrings) {
        if (sameStrings.count(id)) continue;
        EXPECT_NE(StringOf(German(), id), StringOf(English(), id)) << "string " << id << " is not translated";
    }

    // Templates: the same layout in both, so the controls come in the same order. The caption
    // "Tarn Logon" and the OK button may stay.
    for (int id : {IDD_PASSWORD, IDD_ENVIRONMENT, IDD_SCAN, IDD_SHUTDOWN, IDD_UNLOCK, IDD_DEVICES, IDD_COLLECT_PROGRESS,
                   IDD_NET_ADDRESS, IDD_NET_DRIVE, IDD_NET_WAIT}) {
        SCOPED_TRACE(id);
        HWND en = CreateDialogParamW(English(), MAKEINTRESOURCEW(id), nullptr, InertProc, 0);
        HWND de = CreateDialogParamW(German(), MAKEINTRESOURCEW(id), nullptr, InertProc, 0);
        ASSERT_NE(en, nullptr);
        ASSERT_NE(de, nullptr);
        if (TextOf(en) != L"Tarn Logon") {
            EXPECT_NE(TextOf(de), TextOf(en)) << "caption";
        }
        HWND a = GetWindow(en, GW_CHILD), b = GetWindow(de, GW_CHILD);
        for (; a && b; a = GetWindow(a, GW_HWNDNEXT), b = GetWindow(b, GW_HWNDNEXT)) {
            const int control = GetDlgCtrlID(a);
            EXPECT_EQ(GetDlgCtrlID(b), control);
            if (control == IDOK || control == IDC_SCAN_ANIMATION || TextOf(a).empty()) continue;
            EXPECT_NE(TextOf(b), TextOf(a)) << "control " << control << " is not translated";
        }
        EXPECT_EQ(a, b) << "the templates differ in their number of controls";
        DestroyWindow(en);
        DestroyWindow(de);
    }
}

TEST_F(LangPackTest, UnlockTemplateInEveryModuleAndInTheProgram)
{
    // The program carries the English layout for modules made before the prompt existed.
    static const HMODULE program =
        LoadLibraryExA((BinFolder() + "tarn_logon.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    auto check = [](HMODULE module) {
        HWND d = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_UNLOCK), nullptr, InertProc, 0);
        ASSERT_NE(d, nullptr);
        ExpectControls(d, {{IDOK, "Button"}, {IDCANCEL, "Button"}, {IDC_UNLOCK_DRIVE, "Static"},
                           {IDC_UNLOCK_KEY_ID, "Static"}, {IDC_UNLOCK_PASSWORD, "Edit"}});
        EXPECT_EQ(StyleOf(d, IDOK) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDOK)));
        EXPECT_FALSE(StyleOf(d, IDC_UNLOCK_PASSWORD) & ES_PASSWORD) << "48 digits typed blind cannot be checked";
        ExpectFits(GetDlgItem(d, IDC_UNLOCK_KEY_ID), "{DDDDDDDD-DDDD-DDDD-DDDD-DDDDDDDDDDDD}");
        DestroyWindow(d);
    };
    ForEachModule([&] { check(LangPack()); });
    SCOPED_TRACE("tarn_logon.exe");
    check(program);
    // The same holds for the devices list and the progress of Collect logs.
    for (int id : {IDD_UNLOCK, IDD_DEVICES, IDD_COLLECT_PROGRESS, IDD_NET_ADDRESS, IDD_NET_DRIVE, IDD_NET_WAIT}) {
        HWND own = CreateDialogParamW(program, MAKEINTRESOURCEW(id), nullptr, InertProc, 0);
        HWND english = CreateDialogParamW(English(), MAKEINTRESOURCEW(id), nullptr, InertProc, 0);
        EXPECT_EQ(TextOf(own), TextOf(english)) << "the same English texts in " << id;
        EXPECT_EQ(TextOf(GetDlgItem(own, IDCANCEL)), TextOf(GetDlgItem(english, IDCANCEL))) << id;
        DestroyWindow(own);
        DestroyWindow(english);
    }
}

TEST_F(LangPackTest, DevicesAndProgressTemplatesInEveryModuleAndInTheProgram)
{
    static const HMODULE program =
        LoadLibraryExA((BinFolder() + "tarn_logon.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    auto check = [](HMODULE module) {
        HWND devices = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_DEVICES), nullptr, InertProc, 0);
        ASSERT_NE(devices, nullptr);
        ExpectControls(devices, {{IDCANCEL, "Button"}, {IDC_DEVICES_REFRESH, "Button"},
                                 {IDC_DEVICES_SUMMARY, "Static"}, {IDC_DEVICES_LIST, "Edit"}});
        EXPECT_EQ(StyleOf(devices, IDC_DEVICES_LIST) & (ES_MULTILINE | ES_READONLY), ES_MULTILINE | ES_READONLY)
            << "selectable, not editable";
        DestroyWindow(devices);
        HWND progress = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_COLLECT_PROGRESS), nullptr, InertProc, 0);
        ASSERT_NE(progress, nullptr);
        ExpectControls(progress, {{IDCANCEL, "Button"}, {IDC_COLLECT_DESTINATION, "Static"},
                                  {IDC_COLLECT_CURRENT, "Static"}, {IDC_COLLECT_COUNTS, "Static"},
                                  {IDC_COLLECT_BAR, PROGRESS_CLASSA}});
        EXPECT_FALSE(GetWindowLongA(progress, GWL_STYLE) & WS_SYSMENU) << "it ends by itself, or by Cancel";
        DestroyWindow(progress);
    };
    ForEachModule([&] { check(LangPack()); });
    SCOPED_TRACE("tarn_logon.exe");
    check(program);
}

namespace {

// The key of a control's text: the character after its first lone "&" ("&&" shows one),
// in lower case; 0 for none.
char AccessKey(const std::string& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        char key[2] = {text[i + 1], '\0'};
        CharLowerA(key);
        return key[0];
    }
    return 0;
}

// The dialog itself is never on screen here, so a control counts as shown by its own style.
// Only buttons and statics that keep their prefixes carry a key.
void ExpectEachAccessKeyOnce(HWND dialog, const std::string& form)
{
    std::map<char, std::vector<std::string>> owners;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        char name[32] = "";
        GetClassNameA(child, name, sizeof name);
        const bool isStatic = lstrcmpiA(name, "Static") == 0;
        if (!(style & WS_VISIBLE) || (!isStatic && lstrcmpiA(name, "Button") != 0)) continue;
        if (isStatic && (style & SS_NOPREFIX)) continue;
        char text[512] = "";
        GetWindowTextA(child, text, sizeof text);
        if (char key = AccessKey(text)) owners[key].push_back(text);
    }
    for (const auto& [key, texts] : owners) {
        std::string all;
        for (const std::string& text : texts) all += " \"" + text + "\"";
        EXPECT_EQ(texts.size(), 1u) << form << ": key " << key << " in" << all;
    }
}

// By name as FindResource takes it ("#2600" for a number), with the number (0 for a name).
BOOL CALLBACK CollectDialog(HMODULE, LPCSTR, LPSTR name, LONG_PTR found)
{
    const bool numbered = IS_INTRESOURCE(name);
    const UINT id = numbered ? LOWORD(reinterpret_cast<ULONG_PTR>(name)) : 0;
    reinterpret_cast<std::vector<std::pair<std::string, UINT>>*>(found)->emplace_back(
        numbered ? "#" + std::to_string(id) : std::string(name), id);
    return TRUE;
}

// A module made before a control existed gets it from the program, in the program's English.
void UseBuiltInTexts(HWND dialog, UINT templateId)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (const char* text = BuiltInControlText(templateId, GetDlgCtrlID(child))) SetWindowTextA(child, text);
    }
}

void SelectTarget(HWND dialog, int index)
{
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(&state));
}

// Both forms, and OK as the button that takes a folder and as the one that unlocks a drive:
// the dialog's own procedure switches them, so what is checked is what the operator sees.
void ExpectEnvironmentKeysOnce(HMODULE module, bool builtInTexts, const std::string& form)
{
    SharedState& shared = Shared();
    EnvironmentPass pass;
    pass.Targets.Add().Path = "C:\\Windows";
    TLokInfo& locked = pass.Targets.Add();
    locked.Path = "E:\\";
    locked.Locked = true;
    pass.Targets.Add().Path = "(none)";
    shared.Settings.ShellList.Add().Name = "Prompt";
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_ENVIRONMENT), nullptr, EnvironmentDlgProc,
                                     reinterpret_cast<LPARAM>(&pass));
    ASSERT_NE(dialog, nullptr) << form;
    if (builtInTexts) UseBuiltInTexts(dialog, IDD_ENVIRONMENT);
    for (bool collapsed : {false, true}) {
        collapsed ? CollapseEnvironmentDialog(dialog) : ExpandEnvironmentDialog(dialog);
        for (int target : {0, 1}) {
            SelectTarget(dialog, target);
            ExpectEachAccessKeyOnce(dialog, form + (collapsed ? ", collapsed" : ", expanded") +
                                                (target ? ", locked drive" : ", folder"));
        }
    }
    DestroyWindow(dialog);
    shared = SharedState();
}

}  // namespace

// Windows moves the focus between two controls with the same key instead of pressing the
// button. Every template of both modules and of the program itself is checked, found by
// enumeration so that a dialog added later is held to it too; the English module once more
// with the texts the program writes into a module made before its newer controls. (A
// translation made then gets those English texts as well; their keys are chosen against the
// English layout, which is all the program can know.)
TEST_F(LangPackTest, EveryDialogGivesEachAccessKeyOnce)
{
    static const HMODULE program =
        LoadLibraryExA((BinFolder() + "tarn_logon.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    struct Source {
        const char* name;
        HMODULE templates;
        const char* strings;  // the language module the program loads meanwhile
        bool builtInTexts;
    };
    const Source sources[] = {{"LangPack.dll", English(), "LangPack.dll", false},
                              {"LangPack.dll made for 1.5", English(), "LangPack.dll", true},
                              {"LangPack_de.dll", German(), "LangPack_de.dll", false},
                              {"tarn_logon.exe", program, "LangPack.dll", false}};
    for (const Source& source : sources) {
        Shared().Settings.LangModuleName = source.strings;
        ForgetLangModule();
        std::vector<std::pair<std::string, UINT>> templates;
        EnumResourceNamesA(source.templates, MAKEINTRESOURCEA(5), CollectDialog,  // RT_DIALOG
                           reinterpret_cast<LONG_PTR>(&templates));
        EXPECT_FALSE(templates.empty()) << source.name;
        for (const auto& [name, id] : templates) {
            const std::string form = std::string(source.name) + " " + name;
            if (id == IDD_ENVIRONMENT) {
                ExpectEnvironmentKeysOnce(source.templates, source.builtInTexts, form);
                continue;
            }
            HWND dialog = CreateDialogParamA(source.templates, name.c_str(), nullptr, InertProc, 0);
            ASSERT_NE(dialog, nullptr) << form;
            AddMissingControls(dialog, id);
            if (source.builtInTexts) UseBuiltInTexts(dialog, id);
            ExpectEachAccessKeyOnce(dialog, form);
            DestroyWindow(dialog);
        }
    }
    Shared() = SharedState();
    ForgetLangModule();
}

// The ARM64 modules come from another compiler, linker and resource compiler (Zig's) than these:
// what the program reads from them must not differ: texts and clip byte for byte, templates
// control by control. run-tests.sh puts them in
// bin\arm64 and sets TARN_REQUIRE_ARM64, so that under make test their absence fails.
TEST_F(LangPackTest, Arm64ModulesHoldTheSameTextsAndTemplates)
{
    const std::string folder = BinFolder() + "arm64\\";
    if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        char required[8] = "";
        ASSERT_EQ(GetEnvironmentVariableA("TARN_REQUIRE_ARM64", required, sizeof required), 0u)
            << "no ARM64 modules in " << folder;
        GTEST_SKIP() << "no ARM64 modules in " << folder << " (tools/run-tests.sh puts them there)";
    }
    for (const Module& module : kShipped) {
        SCOPED_TRACE(module.file);
        // As a data file: a module of another machine loads that way.
        UniqueLibrary arm64(LoadLibraryExA((folder + module.file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(arm64) << "cannot load " << folder << module.file << ": error " << GetLastError();
        const LPCSTR types[] = {RT_STRING, RT_DIALOG, "AVI"};
        for (LPCSTR type : types) {
            SCOPED_TRACE(IS_INTRESOURCE(type) ? std::to_string(reinterpret_cast<ULONG_PTR>(type)) : type);
            const ResourceBytes ours = ResourcesOf(Load(module.file), type);
            const ResourceBytes theirs = ResourcesOf(arm64.get(), type);
            EXPECT_FALSE(ours.empty());
            for (const auto& [key, bytes] : ours) {
                auto other = theirs.find(key);
                ASSERT_NE(other, theirs.end()) << "the ARM64 module lacks " << key.first << " language " << key.second;
                const bool same = type == RT_DIALOG ? CanonicalTemplate(other->second) == CanonicalTemplate(bytes)
                                                    : other->second == bytes;
                EXPECT_TRUE(same) << key.first << " language " << key.second << " differs";
            }
            EXPECT_EQ(theirs.size(), ours.size());
        }
    }
}
