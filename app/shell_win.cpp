// Shell actions on Windows through the ANSI functions: every text is in the
// system code page as it comes, and paths live in buffers of MAX_PATH bytes.
// A path that would not fit gives an absent text or false, never a cut one.

#include <windows.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "app/shell.h"
#include "app/texts.h"
#include "runtime/com_ptr_win.h"

namespace tavrel {

const char* const kPathSeparator = "\\";

namespace {

constexpr DWORD kPathBufferSize = MAX_PATH;  // 260 bytes, terminator included

// The last backslash of a path that is a character of its own: in the ANSI
// code page the second byte of a double-byte character may be 0x5C too.
size_t LastSeparator(const AnsiText& path) {
  size_t found = AnsiText::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    auto byte = static_cast<BYTE>(path[i]);
    if (IsDBCSLeadByte(byte) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (byte == '\\') found = i;
  }
  return found;
}

bool EndsWithSeparator(const AnsiText& path) {
  size_t last = LastSeparator(path);
  return last != AnsiText::npos && last + 1 == path.size();
}

// The full path of the program's own executable; absent when the platform
// cannot give it whole (a result that fills the buffer was cut short).
std::optional<AnsiText> ModulePath() {
  char buffer[kPathBufferSize];
  DWORD length = GetModuleFileNameA(nullptr, buffer, kPathBufferSize);
  if (length == 0 || length >= kPathBufferSize) return std::nullopt;
  return AnsiText(buffer, length);
}

// The shell's special folder for the kinds that have one, -1 for the others.
int ShellFolderOf(std::int32_t kind) {
  switch (kind) {
    case kFolderDocuments: return CSIDL_PERSONAL;
    case kFolderFavourites: return CSIDL_FAVORITES;
    case kFolderDesktop: return CSIDL_DESKTOPDIRECTORY;
    case kFolderFonts: return CSIDL_FONTS;
    case kFolderStartMenu: return CSIDL_STARTMENU;
    case kFolderPrograms: return CSIDL_PROGRAMS;
    case kFolderStartup: return CSIDL_STARTUP;
    case kFolderAppData: return CSIDL_APPDATA;
    default: return -1;
  }
}

}  // namespace

void OpenWebPage(const std::optional<AnsiText>& address) {
  AnsiText target = address ? *address : AnsiText(kDefaultWebPageAddress);
  HWND owner = FindWindowExA(nullptr, nullptr, nullptr, "Microsoft Internet Explorer");
  ShellExecuteA(owner, "open", target.c_str(), nullptr, nullptr, 1);
}

std::optional<AnsiText> SpecialFolderPath(std::int32_t kind) {
  char buffer[kPathBufferSize] = {};
  DWORD length = 0;
  if (int folder = ShellFolderOf(kind); folder >= 0) {
    // The shell writes at most MAX_PATH bytes; the folder is not created.
    if (!SHGetSpecialFolderPathA(nullptr, buffer, folder, FALSE)) return std::nullopt;
    length = static_cast<DWORD>(strnlen(buffer, kPathBufferSize - 1));
  } else {
    // These return the length without terminator, or the size they would
    // need (terminator included) when the buffer is too small.
    switch (kind) {
      case kFolderWindows: length = GetWindowsDirectoryA(buffer, kPathBufferSize); break;
      case kFolderSystem: length = GetSystemDirectoryA(buffer, kPathBufferSize); break;
      case kFolderTemp: length = GetTempPathA(kPathBufferSize, buffer); break;
      default: return std::nullopt;
    }
    if (length == 0 || length >= kPathBufferSize) return std::nullopt;
  }

  AnsiText path(buffer, length);
  if (!path.empty() && !EndsWithSeparator(path)) {
    // The separator and the terminator must still fit a path buffer.
    if (path.size() + 2 > kPathBufferSize) return std::nullopt;
    path += '\\';
  }
  return path;
}

std::optional<AnsiText> RunDirectory() {
  std::optional<AnsiText> path = ModulePath();
  if (!path) return std::nullopt;
  size_t last = LastSeparator(*path);
  return last == AnsiText::npos ? AnsiText() : path->substr(0, last);
}

std::optional<AnsiText> ExeFileName() {
  std::optional<AnsiText> path = ModulePath();
  if (!path) return std::nullopt;
  size_t last = LastSeparator(*path);
  return last == AnsiText::npos ? *path : path->substr(last + 1);
}

bool CreateShortcut(const AnsiText& fileName, const AnsiText& target,
                    const std::optional<AnsiText>& description,
                    const std::optional<AnsiText>& arguments,
                    const std::optional<AnsiText>& workingDirectory) {
  // ".lnk" is added only to names without any "."; the result must fit a
  // path buffer with its terminator.
  AnsiText name = fileName;
  if (name.find('.') == AnsiText::npos) {
    if (name.size() + 4 + 1 > kPathBufferSize) return false;
    name += ".lnk";
  }

  ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.PutVoid()))) {
    return false;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return false;

  link->SetPath(target.c_str());
  link->SetShowCmd(SW_SHOW);
  if (description) link->SetDescription(description->c_str());
  if (arguments) link->SetArguments(arguments->c_str());
  if (workingDirectory) link->SetWorkingDirectory(workingDirectory->c_str());

  int wideLength = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, nullptr, 0);
  if (wideLength <= 0) return false;
  std::wstring wideName(static_cast<size_t>(wideLength), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wideName.data(), wideLength) <= 0) {
    return false;
  }
  return SUCCEEDED(file->Save(wideName.c_str(), TRUE));
}

}  // namespace tavrel
