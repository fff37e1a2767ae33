#pragma once
// The platform's open and save file dialogs: GetOpenFileNameA and
// GetSaveFileNameA with the OPENFILENAME record, its flags and error codes.
// The dialogs are the system's own (TFileDialogForm), built on the
// component framework and run modally on the calling (GUI) thread.
//
// The record comes in two layouts, told apart by lStructSize: the first,
// of 76 bytes on the platform (the fields up to lpTemplateName), and the
// later one of 88 bytes, which adds pvReserved, dwReserved and FlagsEx.
// Only a record that says 88 has its last three fields read or written; a
// 76-byte record always shows the places bar.
#include <cstdint>

#include "platform/window/types.h"

namespace ax {

inline constexpr DWORD OPENFILENAME_SIZE_VERSION_400A = 76, OPENFILENAME_SIZE_VERSION_500A = 88;

inline constexpr DWORD OFN_READONLY = 0x00000001, OFN_OVERWRITEPROMPT = 0x00000002,
                       OFN_HIDEREADONLY = 0x00000004, OFN_NOCHANGEDIR = 0x00000008,
                       OFN_SHOWHELP = 0x00000010, OFN_ENABLEHOOK = 0x00000020,
                       OFN_ENABLETEMPLATE = 0x00000040, OFN_ENABLETEMPLATEHANDLE = 0x00000080,
                       OFN_NOVALIDATE = 0x00000100, OFN_ALLOWMULTISELECT = 0x00000200,
                       OFN_EXTENSIONDIFFERENT = 0x00000400, OFN_PATHMUSTEXIST = 0x00000800,
                       OFN_FILEMUSTEXIST = 0x00001000, OFN_CREATEPROMPT = 0x00002000,
                       OFN_SHAREAWARE = 0x00004000, OFN_NOREADONLYRETURN = 0x00008000,
                       OFN_NOTESTFILECREATE = 0x00010000, OFN_NONETWORKBUTTON = 0x00020000,
                       OFN_NOLONGNAMES = 0x00040000, OFN_EXPLORER = 0x00080000,
                       OFN_NODEREFERENCELINKS = 0x00100000, OFN_LONGNAMES = 0x00200000,
                       OFN_ENABLEINCLUDENOTIFY = 0x00400000, OFN_ENABLESIZING = 0x00800000,
                       OFN_DONTADDTORECENT = 0x02000000, OFN_FORCESHOWHIDDEN = 0x10000000;
inline constexpr DWORD OFN_EX_NOPLACESBAR = 0x00000001;

// CommDlgExtendedError codes.
inline constexpr DWORD CDERR_STRUCTSIZE = 0x0001, CDERR_INITIALIZATION = 0x0002,
                       CDERR_NOTEMPLATE = 0x0003, CDERR_NOHOOK = 0x000B,
                       FNERR_SUBCLASSFAILURE = 0x3001, FNERR_INVALIDFILENAME = 0x3002,
                       FNERR_BUFFERTOOSMALL = 0x3003;

using LPOFNHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct OPENFILENAMEA {
    DWORD lStructSize = 0;
    HWND hwndOwner = nullptr;
    uintptr_t hInstance = 0;
    // Pairs of zero-terminated texts (description, patterns separated by
    // ";"), ended by an empty text.
    const char* lpstrFilter = nullptr;
    char* lpstrCustomFilter = nullptr;
    DWORD nMaxCustFilter = 0;
    DWORD nFilterIndex = 0; // 1-based
    // In: the initial file name. Out: the full path, or with several files
    // the folder, each name, and an empty text.
    char* lpstrFile = nullptr;
    DWORD nMaxFile = 0;
    char* lpstrFileTitle = nullptr;
    DWORD nMaxFileTitle = 0;
    const char* lpstrInitialDir = nullptr;
    const char* lpstrTitle = nullptr;
    DWORD Flags = 0;
    WORD nFileOffset = 0;
    WORD nFileExtension = 0;
    const char* lpstrDefExt = nullptr;
    LPARAM lCustData = 0;
    LPOFNHOOKPROC lpfnHook = nullptr;
    const char* lpTemplateName = nullptr;
    // The 88-byte layout only.
    void* pvReserved = nullptr;
    DWORD dwReserved = 0;
    DWORD FlagsEx = 0;
};

// Runs the open or save dialog. TRUE when the user chose: lpstrFile holds
// the result, nFileOffset and nFileExtension point into it, nFilterIndex is
// the chosen filter, OFN_READONLY and OFN_EXTENSIONDIFFERENT in Flags say
// what the user did. FALSE when the user cancelled (CommDlgExtendedError
// 0) or the call failed: a record size other than 76 or 88
// (CDERR_STRUCTSIZE); no file buffer, no application to run the dialog,
// or a hook or template asked for, which these dialogs do not take
// (CDERR_INITIALIZATION); a result longer than nMaxFile
// (FNERR_BUFFERTOOSMALL, the size needed in the buffer's first two bytes).
// The dialogs never change the process's current folder, never create a
// test file, and list hidden files only with OFN_FORCESHOWHIDDEN.
BOOL GetOpenFileNameA(OPENFILENAMEA* ofn);
BOOL GetSaveFileNameA(OPENFILENAMEA* ofn);
// The reason the calling thread's last dialog call failed, 0 for none.
DWORD CommDlgExtendedError();

} // namespace ax
