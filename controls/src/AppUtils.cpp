// Settings storage: ini-file and registry storages behind one interface,
// the default names (program, section, ini file, registry key), values kept
// per screen resolution ("Ident(1024x768)") and a form's saved placement.
#include "controls/AppUtils.h"

#include <filesystem>

#include "controls/StrUtils.h"
#include "platform/module.h"
#include "platform/window/placement.h"
#include "rtl/text.h"

namespace ax {

namespace {
AnsiString ProgramBaseName() {
    const auto program = programModule();
    if (!program) return "ardentix";
    return std::filesystem::path(program->fileName).stem().string();
}

AnsiString ScreenIdent(const AnsiString& ident) {
    return ident + Format("(%dx%d)", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

AnsiString FourNumbers(int a, int b, int c, int d) { return Format("%d,%d,%d,%d", a, b, c, d); }

// Word n of a comma list as a number, or def.
int NumberAt(const AnsiString& list, int n, int def) {
    int64_t value = 0;
    return TryStrToInt(ExtractWord(n, list, TCharSet(",")), value) ? int(value) : def;
}
} // namespace

// ---- Storages -------------------------------------------------------------------------------

int64_t TIniStorage::ReadInteger(const AnsiString& section, const AnsiString& ident, int64_t def) {
    int64_t value = 0;
    return TryStrToInt(ReadString(section, ident, ""), value) ? value : def;
}

void TIniStorage::WriteInteger(const AnsiString& section, const AnsiString& ident, int64_t value) {
    WriteString(section, ident, std::to_string(value));
}

AnsiString TIniFileStorage::ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& def) {
    return file_.ReadString(section, ident, def);
}

void TIniFileStorage::WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    file_.WriteString(section, ident, quoted ? "\"" + value + "\"" : value);
}

bool TIniFileStorage::ValueExists(const AnsiString& section, const AnsiString& ident) {
    return file_.ValueExists(section, ident);
}

TRegistryStorage::TRegistryStorage(HKEY root, const AnsiString& key) : key_(key) { registry_.SetRootKey(root); }

AnsiString TRegistryStorage::KeyOf(const AnsiString& section) const {
    AnsiString key = "\\" + key_;
    if (!section.empty()) key += "\\" + section;
    return key;
}

AnsiString TRegistryStorage::ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& def) {
    if (!registry_.OpenKey(KeyOf(section), false) || !registry_.ValueExists(ident)) return def;
    return registry_.ReadString(ident);
}

void TRegistryStorage::WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) {
    if (registry_.OpenKey(KeyOf(section), true)) registry_.WriteString(ident, value);
}

bool TRegistryStorage::ValueExists(const AnsiString& section, const AnsiString& ident) {
    return registry_.OpenKey(KeyOf(section), false) && registry_.ValueExists(ident);
}

void TRegistryStorage::EraseSection(const AnsiString& section) {
    registry_.CloseKey();
    registry_.DeleteKey(KeyOf(section));
}

// ---- Names ----------------------------------------------------------------------------------

AnsiString GetDefaultSection(const TComponent* component) {
    if (!component) return {};
    if (dynamic_cast<const TCustomForm*>(component)) return component->ClassName();
    if (auto* control = dynamic_cast<const TControl*>(component); control && control->Parent()) {
        if (TCustomForm* form = GetParentForm(control)) return form->ClassName() + component->Name();
        return control->Parent()->Name() + component->Name();
    }
    if (auto* owner = dynamic_cast<const TCustomForm*>(component->Owner()))
        return Format("%s.%s", owner->ClassName(), component->Name());
    return {};
}

AnsiString GetDefaultIniName() {
    if (OnGetDefaultIniName) return OnGetDefaultIniName();
    return ProgramBaseName() + ".INI";
}

AnsiString GetDefaultIniRegKey() {
    if (RegUseAppTitle && Application() && !Application()->Title().empty())
        return "Software\\" + Application()->Title();
    return "Software\\" + ProgramBaseName();
}

// ---- Helpers --------------------------------------------------------------------------------

AnsiString IniReadString(TIniStorage* ini, const AnsiString& section, const AnsiString& ident, const AnsiString& def) {
    return ini ? ini->ReadString(section, ident, def) : def;
}

void IniWriteString(TIniStorage* ini, const AnsiString& section, const AnsiString& ident, const AnsiString& value) {
    if (ini) ini->WriteString(section, ident, value);
}

int64_t IniReadInteger(TIniStorage* ini, const AnsiString& section, const AnsiString& ident, int64_t def) {
    return ini ? ini->ReadInteger(section, ident, def) : def;
}

void IniWriteInteger(TIniStorage* ini, const AnsiString& section, const AnsiString& ident, int64_t value) {
    if (ini) ini->WriteInteger(section, ident, value);
}

void IniEraseSection(TIniStorage* ini, const AnsiString& section) {
    if (ini) ini->EraseSection(section);
}

void IniWriteScreenString(TIniStorage* ini, const AnsiString& section, const AnsiString& ident,
                          const AnsiString& value) {
    IniWriteString(ini, section, ScreenIdent(ident), value);
    IniWriteString(ini, section, ident, value);
}

AnsiString IniReadScreenString(TIniStorage* ini, const AnsiString& section, const AnsiString& ident,
                               const AnsiString& def) {
    return IniReadString(ini, section, ScreenIdent(ident), IniReadString(ini, section, ident, def));
}

// ---- Placement ------------------------------------------------------------------------------

void WriteFormPlacement(TCustomForm& form, TIniStorage* ini, const AnsiString& section) {
    if (!ini || !form.HandleAllocated()) return;
    WINDOWPLACEMENT wp;
    if (!GetWindowPlacement(form.Handle(), &wp)) return;
    if (Application() && Application()->MainForm() == &form && Application()->Minimized())
        wp.showCmd = SW_SHOWMINIMIZED;
    ini->WriteInteger(section, "Flags", wp.flags);
    ini->WriteInteger(section, "ShowCmd", wp.showCmd);
    ini->WriteInteger(section, "PixelsPerInch", Screen() ? Screen()->PixelsPerInch() : 96);
    IniWriteScreenString(ini, section, "MinMaxPos",
                         FourNumbers(wp.ptMinPosition.x, wp.ptMinPosition.y, wp.ptMaxPosition.x, wp.ptMaxPosition.y));
    const RECT& r = wp.rcNormalPosition;
    IniWriteScreenString(ini, section, "NormPos", FourNumbers(r.left, r.top, r.right, r.bottom));
}

namespace {

void ReadPosition(TCustomForm& form, TIniStorage* ini, const AnsiString& section, WINDOWPLACEMENT& wp) {
    wp.flags = UINT(ini->ReadInteger(section, "Flags", wp.flags));
    const AnsiString minMax = IniReadScreenString(ini, section, "MinMaxPos", "");
    const AnsiString normal = IniReadScreenString(ini, section, "NormPos", "");
    const int ppi = Screen() ? Screen()->PixelsPerInch() : 96;
    // Positions from another pixel density would land in the wrong place.
    if (minMax.empty() || normal.empty() || ini->ReadInteger(section, "PixelsPerInch", 0) != ppi) return;
    wp.ptMinPosition = {NumberAt(minMax, 1, wp.ptMinPosition.x), NumberAt(minMax, 2, wp.ptMinPosition.y)};
    wp.ptMaxPosition = {NumberAt(minMax, 3, wp.ptMaxPosition.x), NumberAt(minMax, 4, wp.ptMaxPosition.y)};
    RECT& r = wp.rcNormalPosition;
    const RECT current = r;
    r = {NumberAt(normal, 1, r.left), NumberAt(normal, 2, r.top), NumberAt(normal, 3, r.right),
         NumberAt(normal, 4, r.bottom)};
    if (form.BorderStyle() != bsSizeable && form.BorderStyle() != bsSizeToolWin) {
        r.right = r.left + current.width();
        r.bottom = r.top + current.height();
    }
    if (r.right <= r.left || r.bottom <= r.top) return;
    if (form.Position() == poScreenCenter || form.Position() == poDesktopCenter) form.SetPosition(poDesigned);
    SetWindowPlacement(form.Handle(), &wp);
}

} // namespace

void ReadFormPlacement(TCustomForm& form, TIniStorage* ini, const AnsiString& section, bool loadState,
                       bool loadPosition) {
    if (!ini || !(loadState || loadPosition) || !form.HandleAllocated()) return;
    WINDOWPLACEMENT wp;
    if (!GetWindowPlacement(form.Handle(), &wp)) return;
    if (!form.Visible()) wp.showCmd = 0;
    if (loadPosition) ReadPosition(form, ini, section, wp);
    if (loadState) {
        TCustomForm* main = Application() ? Application()->MainForm() : nullptr;
        const bool mainOrNone = !main || main == &form;
        TWindowState state = mainOrNone && form.Position() == poDefault ? wsMaximized : wsNormal;
        switch (ini->ReadInteger(section, "ShowCmd", 0)) {
        case SW_SHOWNORMAL:
        case SW_SHOW:
        case SW_RESTORE: state = wsNormal; break;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE: state = wsMinimized; break;
        case SW_SHOWMAXIMIZED: state = wsMaximized; break;
        default: break;
        }
        if (state == wsMinimized && mainOrNone) {
            // The application minimises, not the form.
            form.SetWindowState(wsNormal);
            if (Application()) PostMessage(Application()->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
            return;
        }
        form.SetWindowState(state);
    }
    form.Update();
}

} // namespace ax
