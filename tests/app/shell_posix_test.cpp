// Shell actions on Linux: XDG folders under a throw-away home, the program's
// own path, desktop entries written as shortcuts, and the product page handed
// to a fake xdg-open that records its argument.

#include "app/shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/texts.h"
#include "runtime/codepage.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

// Sets or unsets environment variables for one test and puts them back.
class ScopedEnvironment {
 public:
  ~ScopedEnvironment() {
    for (const auto& [name, old] : saved_) {
      if (old) {
        setenv(name.c_str(), old->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }
  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary);
  file << content;
}

// A fresh folder for each test, and a home with no XDG settings in it.
class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "shell-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    home = root / "home";
    fs::create_directories(home);
    environment.Set("HOME", home.string());
    environment.Set("XDG_CONFIG_HOME", std::nullopt);
    environment.Set("XDG_DATA_HOME", std::nullopt);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  // A folder named by GBK text, made on disk under its UTF-8 name.
  fs::path MakeFolder(const AnsiText& ansiPath) {
    fs::path path = AnsiToUtf8(ansiPath);
    fs::create_directories(path);
    return path;
  }

  AnsiText Home() const { return Utf8ToAnsi(home.string()); }
  AnsiText Root() const { return Utf8ToAnsi(root.string()); }

  ScopedEnvironment environment;
  fs::path root;
  fs::path home;
};

// ---------------------------------------------------------------- folders

TEST_F(ShellTest, DesktopFolderIsHomeDesktopWhenUserDirsNameNone) {
  EXPECT_EQ(SpecialFolderPath(kFolderDesktop), std::nullopt) << "no Desktop folder yet";
  MakeFolder(Home() + "/Desktop");
  EXPECT_EQ(SpecialFolderPath(kFolderDesktop), Home() + "/Desktop/");
}

struct UserDirsCase {
  const char* name;
  std::string fileText;  // GBK; written to user-dirs.dirs as UTF-8, $ROOT replaced
  std::string expected;  // GBK, below the home ($HOME) or absolute ($ROOT)
};

class DesktopFromUserDirs : public ShellTest,
                            public ::testing::WithParamInterface<UserDirsCase> {};

TEST_P(DesktopFromUserDirs, NamesTheDesktopFolder) {
  const UserDirsCase& c = GetParam();
  auto expand = [this](std::string text) {
    const std::pair<std::string, AnsiText> names[] = {{"$ROOT", Root()}, {"$TESTHOME", Home()}};
    for (const auto& [name, value] : names) {
      for (size_t at; (at = text.find(name)) != std::string::npos;) {
        text.replace(at, name.size(), value);
      }
    }
    return text;
  };
  fs::create_directories(home / ".config");
  WriteFile(home / ".config" / "user-dirs.dirs", AnsiToUtf8(expand(c.fileText)));
  MakeFolder(Home() + "/Desktop");  // the fallback, which must not be chosen
  AnsiText expected = expand(c.expected);
  MakeFolder(expected);
  EXPECT_EQ(SpecialFolderPath(kFolderDesktop), expected + "/");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DesktopFromUserDirs,
    ::testing::Values(
        UserDirsCase{"QuotedHomeRelative", "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n", "$TESTHOME/桌面"},
        UserDirsCase{"BracedHome", "XDG_DESKTOP_DIR=\"${HOME}/desk top\"\n",
                     "$TESTHOME/desk top"},
        UserDirsCase{"Absolute", "XDG_DESKTOP_DIR=\"$ROOT/elsewhere\"\n", "$ROOT/elsewhere"},
        UserDirsCase{"Unquoted", "XDG_DESKTOP_DIR=$HOME/plain  # comment\n",
                     "$TESTHOME/plain"},
        UserDirsCase{"EscapedQuote", "XDG_DESKTOP_DIR=\"$HOME/say \\\"hi\\\"\"\n",
                     "$TESTHOME/say \"hi\""},
        UserDirsCase{"AmongOtherKeysAndComments",
                     "# written by xdg-user-dirs-update\n"
                     "XDG_DOCUMENTS_DIR=\"$HOME/文档\"\n"
                     "  XDG_DESKTOP_DIR=\"$HOME/桌面\"\n"
                     "XDG_DESKTOP_DIR_OLD=\"$HOME/old\"\n",
                     "$TESTHOME/桌面"},
        UserDirsCase{"LastAssignmentWins",
                     "XDG_DESKTOP_DIR=\"$HOME/first\"\nXDG_DESKTOP_DIR=\"$HOME/second\"\n",
                     "$TESTHOME/second"},
        UserDirsCase{"TrailingSlashNotDoubled", "XDG_DESKTOP_DIR=\"$HOME/slash/\"\n",
                     "$TESTHOME/slash"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShellTest, DesktopFolderIgnoresRelativeAndHomelessValues) {
  fs::create_directories(home / ".config");
  MakeFolder(Home() + "/Desktop");
  MakeFolder(Home() + "/relative");
  WriteFile(home / ".config" / "user-dirs.dirs",
            "XDG_DESKTOP_DIR=\"relative\"\nXDG_DESKTOP_DIR=\"$HOMEX/x\"\n");
  EXPECT_EQ(SpecialFolderPath(kFolderDesktop), Home() + "/Desktop/");
}

TEST_F(ShellTest, DesktopFolderFollowsXdgConfigHome) {
  fs::path config = root / "config";
  fs::create_directories(config);
  WriteFile(config / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/fromconfig\"\n");
  // The file in ~/.config must be passed over once XDG_CONFIG_HOME is set.
  fs::create_directories(home / ".config");
  WriteFile(home / ".config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/wrong\"\n");
  MakeFolder(Home() + "/wrong");
  MakeFolder(Home() + "/fromconfig");
  environment.Set("XDG_CONFIG_HOME", config.string());
  EXPECT_EQ(SpecialFolderPath(kFolderDesktop), Home() + "/fromconfig/");
}

TEST_F(ShellTest, DesktopFolderNamedButMissingIsAbsent) {
  fs::create_directories(home / ".config");
  WriteFile(home / ".config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/gone\"\n");
  MakeFolder(Home() + "/Desktop");
  EXPECT_EQ(SpecialFolderPath(kFolderDesktop), std::nullopt);
}

TEST_F(ShellTest, FolderThatGbkCannotNameIsAbsent) {
  // U+1F600 has no GBK form: a converted path would name another folder.
  fs::create_directories(home / ".config");
  WriteFile(home / ".config" / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/\xF0\x9F\x98\x80\"\n");
  fs::create_directories(home / "\xF0\x9F\x98\x80");
  EXPECT_EQ(SpecialFolderPath(kFolderDesktop), std::nullopt);
}

TEST_F(ShellTest, EveryKindEndsInOneSeparatorOrIsAbsent) {
  fs::path temp = root / "temp";
  fs::create_directories(temp);
  environment.Set("TMPDIR", temp.string() + "//");
  const std::map<std::int32_t, std::string> expected = {
      {kFolderDocuments, home.string() + "/Documents/"},
      {kFolderFonts, home.string() + "/.local/share/fonts/"},
      {kFolderStartMenu, home.string() + "/.local/share/applications/"},
      {kFolderPrograms, home.string() + "/.local/share/applications/"},
      {kFolderStartup, home.string() + "/.config/autostart/"},
      {kFolderAppData, home.string() + "/.config/"},
      {kFolderWindows, "/"},
      {kFolderSystem, "/usr/lib/"},
      {kFolderTemp, temp.string() + "/"},
  };
  for (const auto& [kind, path] : expected) {
    if (kind < kFolderWindows) {
      EXPECT_EQ(SpecialFolderPath(kind), std::nullopt) << "kind " << kind << " before it exists";
    }
  }
  for (const auto& [kind, path] : expected) {
    fs::create_directories(path);
  }
  for (const auto& [kind, path] : expected) {
    EXPECT_EQ(SpecialFolderPath(kind), Utf8ToAnsi(path)) << "kind " << kind;
  }
  for (std::int32_t kind : {0, 2, 12, -1, 16}) {
    EXPECT_EQ(SpecialFolderPath(kind), std::nullopt) << "kind " << kind;
  }
}

TEST_F(ShellTest, TempFolderFallsBackToTmpAndIsAbsentWhenMissing) {
  environment.Set("TMPDIR", std::nullopt);
  EXPECT_EQ(SpecialFolderPath(kFolderTemp), "/tmp/");
  environment.Set("TMPDIR", (root / "missing").string());
  EXPECT_EQ(SpecialFolderPath(kFolderTemp), std::nullopt);
}

TEST_F(ShellTest, XdgBaseFoldersFollowTheirVariables) {
  fs::path data = root / "data";
  fs::path config = root / "config";
  fs::create_directories(data / "fonts");
  fs::create_directories(config / "autostart");
  environment.Set("XDG_DATA_HOME", data.string());
  environment.Set("XDG_CONFIG_HOME", config.string());
  EXPECT_EQ(SpecialFolderPath(kFolderFonts), data.string() + "/fonts/");
  EXPECT_EQ(SpecialFolderPath(kFolderStartup), config.string() + "/autostart/");
  EXPECT_EQ(SpecialFolderPath(kFolderAppData), config.string() + "/");
}

// ------------------------------------------------------- own executable

TEST(ShellOwnPath, RunDirectoryAndFileNameMakeTheExecutablePath) {
  std::optional<AnsiText> directory = RunDirectory();
  std::optional<AnsiText> name = ExeFileName();
  ASSERT_TRUE(directory.has_value());
  ASSERT_TRUE(name.has_value());
  EXPECT_EQ(name->find('/'), AnsiText::npos);
  EXPECT_FALSE(directory->empty());
  EXPECT_NE(directory->back(), '/');
  EXPECT_EQ(*directory + kPathSeparator + *name,
            Utf8ToAnsi(fs::read_symlink("/proc/self/exe").string()));
}

// ------------------------------------------------------------ shortcuts

std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

TEST_F(ShellTest, ShortcutIsADesktopEntryUnderItsUtf8Name) {
  fs::path desktop = MakeFolder(Home() + "/桌面");
  AnsiText fileName = Home() + "/桌面/" + "Tavrel校时v1.2.lnk";
  mode_t oldMask = umask(077);  // the mode must not depend on the umask
  bool written = CreateShortcut(fileName, "/opt/tavrel/tavrel-clock", AnsiText("Tavrel科技"));
  umask(oldMask);
  ASSERT_TRUE(written);

  fs::path file = desktop / AnsiToUtf8("Tavrel校时v1.2.lnk");
  EXPECT_EQ(ReadFile(file),
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=Tavrel\xE6\xA0\xA1\xE6\x97\xB6v1.2\n"
            "Comment=Tavrel\xE7\xA7\x91\xE6\x8A\x80\n"
            "Exec=/opt/tavrel/tavrel-clock\n");
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);
  EXPECT_EQ(FolderEntries(desktop), std::vector<std::string>{file.filename().string()})
      << "no temporary file may stay behind";
}

TEST_F(ShellTest, ShortcutReplacesAnExistingOne) {
  fs::path file = root / "again.lnk";
  WriteFile(file, "an older, longer file that must disappear completely\n\n\n");
  chmod(file.c_str(), 0600);
  ASSERT_TRUE(CreateShortcut(Root() + "/again.lnk", "/bin/first", AnsiText("one")));
  ASSERT_TRUE(CreateShortcut(Root() + "/again.lnk", "/bin/second", AnsiText("two")));
  EXPECT_EQ(ReadFile(file),
            "[Desktop Entry]\nType=Application\nName=again\nComment=two\nExec=/bin/second\n");
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);
  std::vector<std::string> entries = FolderEntries(root);
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"again.lnk", "home"}));
}

TEST_F(ShellTest, ShortcutFailsCleanlyWhereItCannotBeWritten) {
  EXPECT_FALSE(CreateShortcut(Root() + "/missing/x.lnk", "/bin/true"));
  EXPECT_FALSE(fs::exists(root / "missing"));
  // A folder in the way of the name: the rename fails and the temporary goes.
  fs::create_directories(root / "taken.lnk");
  EXPECT_FALSE(CreateShortcut(Root() + "/taken.lnk", "/bin/true"));
  EXPECT_TRUE(fs::is_directory(root / "taken.lnk"));
  EXPECT_TRUE(fs::is_empty(root / "taken.lnk"));
  std::vector<std::string> entries = FolderEntries(root);
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"home", "taken.lnk"}));
}

TEST_F(ShellTest, ShortcutWithoutFolderGoesToTheCurrentFolder) {
  fs::path before = fs::current_path();
  fs::current_path(root);
  bool written = CreateShortcut("Tavrel校时v1.2.lnk", "/bin/true");
  fs::current_path(before);
  ASSERT_TRUE(written);
  EXPECT_TRUE(fs::exists(root / AnsiToUtf8("Tavrel校时v1.2.lnk")));
}

TEST_F(ShellTest, LnkIsAddedOnlyToNamesWithoutADot) {
  struct Case {
    AnsiText given;
    std::string written;
    std::string name;
  };
  fs::create_directories(root / "dir.d");
  for (const Case& c : std::vector<Case>{
           {"plain", "plain.lnk", "plain"},
           {"has.lnk", "has.lnk", "has"},
           {"entry.desktop", "entry.desktop", "entry"},
           {"v1.2", "v1.2", "v1"},
           {"dir.d/inner", "dir.d/inner", "inner"},
       }) {
    ASSERT_TRUE(CreateShortcut(Root() + "/" + c.given, "/bin/true")) << c.given;
    fs::path file = root / c.written;
    EXPECT_TRUE(fs::is_regular_file(file)) << c.given;
    EXPECT_NE(ReadFile(file).find("\nName=" + c.name + "\n"), std::string::npos) << c.given;
  }
  EXPECT_FALSE(fs::exists(root / "has.lnk.lnk"));
  EXPECT_FALSE(fs::exists(root / "dir.d/inner.lnk"));
}

TEST_F(ShellTest, ExecAndOtherValuesAreQuotedAsDesktopEntriesWant) {
  struct Case {
    AnsiText target;
    std::optional<AnsiText> arguments;
    std::optional<AnsiText> directory;
    std::optional<AnsiText> description;
    std::string expected;  // the lines after Name=
  };
  const std::vector<Case> cases = {
      {"/opt/my app/run", std::nullopt, std::nullopt, std::nullopt,
       "Exec=\"/opt/my app/run\"\n"},
      {"/bin/run", AnsiText("-a \"b c\" 100% $HOME"), std::nullopt, std::nullopt,
       "Exec=/bin/run -a \"b c\" 100%% \"\\\\$HOME\"\n"},
      {"/bin/run", AnsiText("C:\\dir\\ \"say \\\"hi\\\"\" \"\""), std::nullopt, std::nullopt,
       "Exec=/bin/run \"C:\\\\\\\\dir\\\\\\\\\" \"say \\\\\"hi\\\\\"\" \"\"\n"},
      {"/bin/run", AnsiText("  spaced   out  "), AnsiText("/work dir/子目录"),
       AnsiText(" two\nlines\\"),
       "Comment=\\stwo\\nlines\\\\\nExec=/bin/run spaced out\nPath=/work dir/\xE5\xAD\x90\xE7\x9B\xAE\xE5\xBD\x95\n"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(CreateShortcut(Root() + "/q.lnk", c.target, c.description, c.arguments,
                               c.directory));
    std::string text = ReadFile(root / "q.lnk");
    std::string rest = text.substr(text.find("Name=q\n") + 7);
    EXPECT_EQ(rest, c.expected) << c.target;
  }
}

// ------------------------------------------------------------ web page

class OpenWebPageTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    bin = root / "bin";
    fs::create_directories(bin);
    record = root / "record";
    // The fake appends its first argument as one line, then moves the line
    // file into place so that the test never reads half a line.
    WriteFile(bin / "xdg-open",
              "#!/bin/sh\n"
              "printf '%s\\n' \"$1\" >> \"" + record.string() + ".part\"\n"
              "cp \"" + record.string() + ".part\" \"" + record.string() + ".$$\"\n"
              "mv \"" + record.string() + ".$$\" \"" + record.string() + "\"\n");
    chmod((bin / "xdg-open").c_str(), 0755);
  }

  // Waits for the recorded lines to reach count (the opener does not wait
  // for xdg-open, so its run ends some time after OpenWebPage returns).
  std::vector<std::string> WaitForLines(size_t count) {
    std::vector<std::string> lines;
    for (int attempt = 0; attempt < 500; ++attempt) {
      lines.clear();
      std::istringstream text(ReadFile(record));
      for (std::string line; std::getline(text, line);) lines.push_back(line);
      if (lines.size() >= count) break;
      usleep(20000);
    }
    return lines;
  }

  static void ExpectNoChildLeft() {
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a child process is left to collect";
    EXPECT_EQ(errno, ECHILD);
  }

  fs::path bin;
  fs::path record;
};

TEST_F(OpenWebPageTest, HandsTheAddressToXdgOpenAsUtf8) {
  environment.Set("PATH", bin.string() + ":/usr/bin:/bin");
  OpenWebPage(AnsiText("http://127.0.0.1:9/页面?a=1&b=2"));
  ExpectNoChildLeft();
  ASSERT_EQ(WaitForLines(1),
            std::vector<std::string>{"http://127.0.0.1:9/\xE9\xA1\xB5\xE9\x9D\xA2?a=1&b=2"});
  OpenWebPage();
  ExpectNoChildLeft();
  EXPECT_EQ(WaitForLines(2).back(), AnsiToUtf8(kDefaultWebPageAddress));
}

TEST_F(OpenWebPageTest, DoesNothingWithoutAnXdgOpenToRun) {
  fs::path empty = root / "empty";
  fs::path unusable = root / "unusable";
  fs::create_directories(empty);
  fs::create_directories(unusable);
  fs::copy_file(bin / "xdg-open", unusable / "xdg-open");
  chmod((unusable / "xdg-open").c_str(), 0644);

  // Not on PATH, not executable, only reachable through an empty PATH entry.
  fs::path before = fs::current_path();
  fs::current_path(bin);
  environment.Set("PATH", empty.string());
  OpenWebPage(AnsiText("http://127.0.0.1:9/none"));
  environment.Set("PATH", unusable.string() + ":" + empty.string());
  OpenWebPage(AnsiText("http://127.0.0.1:9/none"));
  environment.Set("PATH", std::string(1, ':').append(empty.string()));
  OpenWebPage(AnsiText("http://127.0.0.1:9/none"));
  fs::current_path(before);
  ExpectNoChildLeft();

  // A call that does reach the fake comes after them: once its line is
  // there, none of the earlier ones may be.
  environment.Set("PATH", bin.string() + ":/usr/bin:/bin");
  OpenWebPage(AnsiText("http://127.0.0.1:9/some"));
  EXPECT_EQ(WaitForLines(1), std::vector<std::string>{"http://127.0.0.1:9/some"});
}

}  // namespace
}  // namespace tavrel
