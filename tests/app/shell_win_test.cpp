// Shell actions on Windows: special folders against the platform's own
// answers, the program's own path (also from copies of this executable at a
// drive root and under a name whose double-byte character ends in 0x5C), and
// shortcuts written to a temporary folder and loaded back through the shell
// link object.

#include "app/shell.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "runtime/com_ptr_win.h"

namespace tavrel {
namespace {

// Started again as a probe (from a copy of this executable), the program
// writes its RunDirectory and ExeFileName to the file the variable names and
// ends before any test runs.
const bool kRunAsProbe = [] {
  char output[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("TAVREL_SHELL_PROBE", output, sizeof output);
  if (length == 0 || length >= sizeof output) return false;
  std::string report = RunDirectory().value_or("<absent>") + "\n" +
                       ExeFileName().value_or("<absent>") + "\n";
  if (FILE* file = std::fopen(output, "wb")) {
    std::fwrite(report.data(), 1, report.size(), file);
    std::fclose(file);
  }
  ExitProcess(0);
  return true;
}();

AnsiText ModulePath() {
  char buffer[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return AnsiText(buffer, length);
}

std::wstring Wide(const AnsiText& text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length) - 1);
  return wide;
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// ---------------------------------------------------------------- folders

TEST(ShellFolders, DesktopAndTempEndInExactlyOneBackslash) {
  for (std::int32_t kind : {kFolderDesktop, kFolderTemp}) {
    std::optional<AnsiText> path = SpecialFolderPath(kind);
    ASSERT_TRUE(path.has_value()) << "kind " << kind;
    ASSERT_GE(path->size(), 3u) << *path;
    EXPECT_EQ(path->back(), '\\') << *path;
    EXPECT_NE((*path)[path->size() - 2], '\\') << *path;
    EXPECT_EQ(GetFileAttributesA(path->c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY))
        << *path;
  }
  char temp[MAX_PATH];
  DWORD length = GetTempPathA(MAX_PATH, temp);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(SpecialFolderPath(kFolderTemp), AnsiText(temp, length)) << "no second backslash";
}

TEST(ShellFolders, EachKindIsItsPlatformFolder) {
  struct Case {
    std::int32_t kind;
    int csidl;  // -1: from the directory function below
  };
  for (Case c : {Case{1, CSIDL_PERSONAL}, Case{2, CSIDL_FAVORITES},
                 Case{3, CSIDL_DESKTOPDIRECTORY}, Case{4, CSIDL_FONTS}, Case{5, CSIDL_STARTMENU},
                 Case{6, CSIDL_PROGRAMS}, Case{7, CSIDL_STARTUP}, Case{8, CSIDL_APPDATA},
                 Case{9, -1}, Case{10, -1}}) {
    char buffer[MAX_PATH] = {};
    bool given = true;
    if (c.kind == 9) {
      GetWindowsDirectoryA(buffer, MAX_PATH);
    } else if (c.kind == 10) {
      GetSystemDirectoryA(buffer, MAX_PATH);
    } else {
      given = SHGetSpecialFolderPathA(nullptr, buffer, c.csidl, FALSE);
    }
    if (!given) {
      EXPECT_EQ(SpecialFolderPath(c.kind), std::nullopt) << "kind " << c.kind;
      continue;
    }
    AnsiText expected = buffer;
    if (expected.back() != '\\') expected += '\\';
    EXPECT_EQ(SpecialFolderPath(c.kind), expected) << "kind " << c.kind;
  }
}

TEST(ShellFolders, TempPathThatWouldNotFitIsAbsent) {
  // GetTempPathA takes the folder from TMP and adds the backslash itself; a
  // result of 259 bytes still fits the 260-byte buffer, one more does not.
  char old[MAX_PATH * 2];
  DWORD oldLength = GetEnvironmentVariableA("TMP", old, sizeof old);
  AnsiText fits = "C:\\" + AnsiText(258 - 3, 'f');
  AnsiText tooLong = fits + "f";
  SetEnvironmentVariableA("TMP", fits.c_str());
  std::optional<AnsiText> fitting = SpecialFolderPath(kFolderTemp);
  SetEnvironmentVariableA("TMP", tooLong.c_str());
  std::optional<AnsiText> overlong = SpecialFolderPath(kFolderTemp);
  SetEnvironmentVariableA("TMP", oldLength > 0 && oldLength < sizeof old ? old : nullptr);
  EXPECT_EQ(fitting, fits + "\\");
  EXPECT_EQ(overlong, std::nullopt);
}

TEST(ShellFolders, KindsOutsideTheTableAreAbsent) {
  for (std::int32_t kind : {0, 12, -1, 16, 0x7FFFFFFF}) {
    EXPECT_EQ(SpecialFolderPath(kind), std::nullopt) << "kind " << kind;
  }
}

// ------------------------------------------------------- own executable

TEST(ShellOwnPath, RunDirectoryAndFileNameMakeTheModulePath) {
  std::optional<AnsiText> directory = RunDirectory();
  std::optional<AnsiText> name = ExeFileName();
  ASSERT_TRUE(directory.has_value());
  ASSERT_TRUE(name.has_value());
  EXPECT_EQ(*name, "app_tests.exe");
  EXPECT_NE(directory->back(), '\\');
  EXPECT_EQ(*directory + kPathSeparator + *name, ModulePath());
}

// Runs a copy of this executable as a probe and returns its two lines.
std::vector<AnsiText> RunProbeCopy(const AnsiText& copyPath, const AnsiText& reportPath) {
  std::vector<AnsiText> lines;
  if (!CopyFileA(ModulePath().c_str(), copyPath.c_str(), FALSE)) return lines;
  SetEnvironmentVariableA("TAVREL_SHELL_PROBE", reportPath.c_str());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  AnsiText commandLine = "\"" + copyPath + "\"";
  BOOL started = CreateProcessA(copyPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableA("TAVREL_SHELL_PROBE", nullptr);
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (FILE* file = std::fopen(reportPath.c_str(), "rb")) {
      char line[1024];
      while (std::fgets(line, sizeof line, file)) {
        AnsiText text = line;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        lines.push_back(text);
      }
      std::fclose(file);
    }
  }
  DeleteFileA(reportPath.c_str());
  DeleteFileA(copyPath.c_str());
  return lines;
}

TEST(ShellOwnPath, AtADriveRootTheDirectoryIsTheDriveAlone) {
  AnsiText temp = *SpecialFolderPath(kFolderTemp);
  AnsiText name = "tavrel-probe-" + std::to_string(GetCurrentProcessId()) + ".exe";
  std::vector<AnsiText> lines = RunProbeCopy("C:\\" + name, temp + "probe-root.txt");
  EXPECT_EQ(lines, (std::vector<AnsiText>{"C:", name}));
  EXPECT_EQ(lines.at(0) + kPathSeparator + lines.at(1), "C:\\" + name);
}

TEST(ShellOwnPath, DoubleByteCharacterEndingIn5CIsNoSeparator) {
  ASSERT_EQ(GetACP(), 936u) << "the test environment must use code page 936";
  // "誠" is D5 5C and "錦" E5 5C in GBK: their second byte is the backslash.
  AnsiText temp = *SpecialFolderPath(kFolderTemp);
  AnsiText folder = temp + "tavrel錦" + std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  std::vector<AnsiText> lines = RunProbeCopy(folder + "\\誠.exe", temp + "probe-5c.txt");
  RemoveDirectoryA(folder.c_str());
  EXPECT_EQ(lines, (std::vector<AnsiText>{folder, "誠.exe"}));
}

// ------------------------------------------------------------ shortcuts

struct LinkContents {
  AnsiText path;
  AnsiText description;
  AnsiText arguments;
  AnsiText workingDirectory;
  int showCmd = 0;
};

std::optional<LinkContents> LoadLink(const std::wstring& file) {
  ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.PutVoid()))) {
    return std::nullopt;
  }
  ComPtr<IPersistFile> persist;
  if (FAILED(link->QueryInterface(IID_IPersistFile, persist.PutVoid())) ||
      FAILED(persist->Load(file.c_str(), STGM_READ))) {
    return std::nullopt;
  }
  LinkContents contents;
  char buffer[1024];
  if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH))) contents.path = buffer;
  if (SUCCEEDED(link->GetDescription(buffer, sizeof buffer))) contents.description = buffer;
  if (SUCCEEDED(link->GetArguments(buffer, sizeof buffer))) contents.arguments = buffer;
  if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH))) contents.workingDirectory = buffer;
  link->GetShowCmd(&contents.showCmd);
  return contents;
}

// A fresh folder in the temporary directory, with COM for the thread.
class ShortcutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    initialised = true;
    folder = *SpecialFolderPath(kFolderTemp) + "shortcuts" +
             std::to_string(GetCurrentProcessId()) + "\\";
    ASSERT_EQ(folder.find('.'), AnsiText::npos) << "the name rules below need a folder without '.'";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  }
  void TearDown() override {
    WIN32_FIND_DATAW found;
    std::wstring wideFolder = Wide(folder);
    HANDLE search = FindFirstFileW((wideFolder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileW((wideFolder + found.cFileName).c_str());
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(wideFolder.c_str());
    if (initialised) CoUninitialize();
  }

  std::vector<std::wstring> FolderEntries() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((Wide(folder) + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
  }

  bool initialised = false;
  AnsiText folder;
};

TEST_F(ShortcutTest, TheProgramsShortcutLoadsBackWithItsTargetAndDescription) {
  ASSERT_EQ(GetACP(), 936u) << "the test environment must use code page 936";
  AnsiText target = ModulePath();
  ASSERT_TRUE(CreateShortcut(folder + "Tavrel校时v1.2.lnk", target, AnsiText("Tavrel科技")));

  // The GBK name must arrive as the right UTF-16 name.
  std::wstring file = Wide(folder) + L"Tavrel\u6821\u65f6v1.2.lnk";
  ASSERT_TRUE(FileExists(file));
  EXPECT_EQ(FolderEntries(), std::vector<std::wstring>{L"Tavrel\u6821\u65f6v1.2.lnk"});
  std::optional<LinkContents> link = LoadLink(file);
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->path, target);
  EXPECT_EQ(link->description, "Tavrel科技");
  EXPECT_EQ(link->arguments, "");
  // The link format keeps only normal, maximised and minimised windows: the
  // show state 5 the program sets reads back as normal.
  EXPECT_EQ(link->showCmd, SW_SHOWNORMAL);
}

TEST_F(ShortcutTest, ArgumentsAndWorkingDirectoryAreStoredWhenGiven) {
  AnsiText target = ModulePath();
  AnsiText directory = folder.substr(0, folder.size() - 1);
  ASSERT_TRUE(CreateShortcut(folder + "full", target, AnsiText("说明"),
                             AnsiText("-x \"带 空格\""), directory));
  std::optional<LinkContents> link = LoadLink(Wide(folder + "full.lnk"));
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->description, "说明");
  EXPECT_EQ(link->arguments, "-x \"带 空格\"");
  EXPECT_EQ(link->workingDirectory, directory);
}

TEST_F(ShortcutTest, ASecondWriteReplacesTheFirst) {
  AnsiText target = ModulePath();
  ASSERT_TRUE(CreateShortcut(folder + "same.lnk", target, AnsiText("first")));
  ASSERT_TRUE(CreateShortcut(folder + "same.lnk", target, AnsiText("second")));
  std::optional<LinkContents> link = LoadLink(Wide(folder + "same.lnk"));
  ASSERT_TRUE(link.has_value());
  EXPECT_EQ(link->description, "second");
  EXPECT_EQ(FolderEntries(), std::vector<std::wstring>{L"same.lnk"});
}

TEST_F(ShortcutTest, LnkIsAddedOnlyToNamesWithoutADot) {
  AnsiText target = ModulePath();
  ASSERT_TRUE(CreateShortcut(folder + "plain", target));
  ASSERT_TRUE(CreateShortcut(folder + "has.lnk", target));
  ASSERT_TRUE(CreateShortcut(folder + "v1.2", target));
  std::vector<std::wstring> entries = FolderEntries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::wstring>{L"has.lnk", L"plain.lnk", L"v1.2"}));
  ASSERT_TRUE(LoadLink(Wide(folder + "v1.2")).has_value());
  EXPECT_EQ(LoadLink(Wide(folder + "v1.2"))->path, target);
}

TEST_F(ShortcutTest, NamesAtTheBufferLimit) {
  AnsiText target = ModulePath();
  // Without a ".", 255 bytes are the most that leave room for ".lnk" and the
  // terminator in a 260-byte buffer.
  ASSERT_LT(folder.size(), 200u);
  AnsiText longest = folder + AnsiText(255 - folder.size(), 'a');
  AnsiText tooLong = longest + "a";
  EXPECT_FALSE(CreateShortcut(tooLong, target));
  EXPECT_TRUE(FolderEntries().empty());
  EXPECT_TRUE(CreateShortcut(longest, target));
  EXPECT_TRUE(FileExists(Wide(longest + ".lnk")));
  EXPECT_EQ(FolderEntries().size(), 1u);
}

TEST_F(ShortcutTest, AMissingFolderFailsCleanly) {
  EXPECT_FALSE(CreateShortcut(folder + "missing\\x.lnk", ModulePath()));
  EXPECT_TRUE(FolderEntries().empty());
}

struct NoComCall {
  AnsiText file;
  bool result = true;
};

DWORD WINAPI CreateShortcutWithoutCom(void* parameter) {
  auto* call = static_cast<NoComCall*>(parameter);
  call->result = CreateShortcut(call->file, "C:\\windows\\notepad.exe");
  return 0;
}

TEST(ShortcutWithoutCom, FailsWhenTheLinkObjectCannotBeMade) {
  // A new thread that has not initialised COM cannot make the link object.
  NoComCall call;
  call.file = *SpecialFolderPath(kFolderTemp) + "nocom" + std::to_string(GetCurrentProcessId()) +
              ".lnk";
  HANDLE thread = CreateThread(nullptr, 0, CreateShortcutWithoutCom, &call, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_FALSE(call.result);
  EXPECT_EQ(GetFileAttributesA(call.file.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace tavrel
