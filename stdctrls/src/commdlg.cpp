// GetOpenFileNameA and GetSaveFileNameA over the system's own file dialog.
#include "stdctrls/commdlg.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "rtl/sysutils.h"
#include "stdctrls/checkbox.h"
#include "stdctrls/filedialogform.h"

namespace ax {

namespace {

thread_local DWORD lastError = 0;

BOOL Fail(DWORD error) {
    lastError = error;
    return FALSE;
}

// Copies at most size - 1 bytes and the terminator.
void CopyText(char* buffer, DWORD size, const AnsiString& text) {
    if (!buffer || size == 0) return;
    const size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

// The offset of the extension in a single result: after the last "." of
// the name; the terminator when the name has none; 0 when it ends in ".".
WORD ExtensionOffset(const AnsiString& path, size_t nameOffset) {
    const size_t dot = path.rfind('.');
    if (dot == AnsiString::npos || dot < nameOffset) return WORD(std::min<size_t>(path.size(), 0xFFFF));
    if (dot + 1 == path.size()) return 0;
    return WORD(std::min<size_t>(dot + 1, 0xFFFF));
}

BOOL WriteResult(OPENFILENAMEA& ofn, TFileDialogForm& form) {
    const std::vector<AnsiString>& paths = form.Chosen();
    if (paths.empty()) return Fail(FNERR_INVALIDFILENAME);
    std::string out;
    size_t nameOffset;
    WORD extension = 0;
    if (paths.size() == 1) {
        out = paths.front();
        nameOffset = out.rfind('/') + 1;
        extension = ExtensionOffset(out, nameOffset);
        out.push_back('\0');
    } else {
        // The folder, each name, and an empty text.
        const AnsiString folder = ExtractFileDir(paths.front());
        out = folder;
        out.push_back('\0');
        nameOffset = out.size();
        for (const AnsiString& path : paths) {
            out += ExtractFileName(path);
            out.push_back('\0');
        }
        out.push_back('\0');
    }
    if (out.size() > ofn.nMaxFile) {
        // The size needed goes into the buffer's first two bytes.
        if (ofn.nMaxFile >= 2) {
            const WORD needed = WORD(std::min<size_t>(out.size(), 0xFFFF));
            ofn.lpstrFile[0] = char(needed & 0xFF);
            ofn.lpstrFile[1] = char(needed >> 8);
        }
        return Fail(FNERR_BUFFERTOOSMALL);
    }
    std::memcpy(ofn.lpstrFile, out.data(), out.size());
    ofn.nFileOffset = WORD(std::min<size_t>(nameOffset, 0xFFFF));
    ofn.nFileExtension = extension;
    CopyText(ofn.lpstrFileTitle, ofn.nMaxFileTitle, ExtractFileName(paths.front()));

    const int type = form.TypeCombo().ItemIndex();
    if (type >= 0) ofn.nFilterIndex = DWORD(type + 1);
    if (TCheckBox* readOnly = form.ReadOnlyCheck()) {
        if (readOnly->Checked()) ofn.Flags |= OFN_READONLY;
        else ofn.Flags &= ~OFN_READONLY;
    }
    const AnsiString defExt = ofn.lpstrDefExt ? AnsiString(ofn.lpstrDefExt, strnlen(ofn.lpstrDefExt, 256)) : "";
    const AnsiString ext = ExtractFileExt(ExtractFileName(paths.front()));
    if (!defExt.empty() && !SameText(ext.empty() ? ext : ext.substr(1), defExt)) ofn.Flags |= OFN_EXTENSIONDIFFERENT;
    else ofn.Flags &= ~OFN_EXTENSIONDIFFERENT;
    return TRUE;
}

BOOL RunFileDialog(OPENFILENAMEA* ofn, bool save) {
    lastError = 0;
    if (!ofn) return Fail(CDERR_INITIALIZATION);
    if (ofn->lStructSize != OPENFILENAME_SIZE_VERSION_400A && ofn->lStructSize != OPENFILENAME_SIZE_VERSION_500A)
        return Fail(CDERR_STRUCTSIZE);
    if (!ofn->lpstrFile || ofn->nMaxFile == 0) return Fail(CDERR_INITIALIZATION);
    if (ofn->Flags & (OFN_ENABLEHOOK | OFN_ENABLETEMPLATE | OFN_ENABLETEMPLATEHANDLE))
        return Fail(CDERR_INITIALIZATION);
    if (!Application()) return Fail(CDERR_INITIALIZATION);
    auto form = std::make_unique<TFileDialogForm>(*ofn, save);
    if (form->Execute() != dciOk) return FALSE;
    return WriteResult(*ofn, *form);
}

} // namespace

BOOL GetOpenFileNameA(OPENFILENAMEA* ofn) { return RunFileDialog(ofn, false); }

BOOL GetSaveFileNameA(OPENFILENAMEA* ofn) { return RunFileDialog(ofn, true); }

DWORD CommDlgExtendedError() { return lastError; }

} // namespace ax
