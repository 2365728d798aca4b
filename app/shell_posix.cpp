// Shell actions on Linux: the address is handed to xdg-open, the special
// folders are the XDG folders that play the same part, and the shortcut is a
// freedesktop desktop entry. Texts come in and go out as GBK like every text
// of the program; the file system and the desktop entry are UTF-8.

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/shell.h"
#include "app/texts.h"
#include "runtime/codepage.h"

namespace tavrel {

const char* const kPathSeparator = "/";

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string HomeDirectory() {
  std::string home = Environment("HOME");
  if (!home.empty()) return home;
  std::vector<char> buffer(4096);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return "";
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// An XDG base folder: the variable when it holds an absolute path (the XDG
// rules ignore relative ones), otherwise the fallback below the home folder.
std::string XdgBase(const char* variable, const char* fallback) {
  std::string value = Environment(variable);
  if (!value.empty() && value[0] == '/') return value;
  std::string home = HomeDirectory();
  return home.empty() ? std::string() : home + "/" + fallback;
}

// The value of key in one line of user-dirs.dirs, a shell assignment such as
// XDG_DESKTOP_DIR="$HOME/Desktop": quotes and backslash escapes removed and a
// leading $HOME expanded. Only absolute and $HOME-relative values count.
std::optional<std::string> UserDirsValue(std::string_view line, std::string_view key,
                                         const std::string& home) {
  size_t at = line.find_first_not_of(" \t");
  if (at == std::string_view::npos || line.substr(at, key.size()) != key) return std::nullopt;
  at = line.find_first_not_of(" \t", at + key.size());
  if (at == std::string_view::npos || line[at] != '=') return std::nullopt;
  at = line.find_first_not_of(" \t", at + 1);
  if (at == std::string_view::npos) return std::nullopt;

  std::string value;
  if (line[at] == '"') {
    bool closed = false;
    for (++at; at < line.size(); ++at) {
      char c = line[at];
      if (c == '"') {
        closed = true;
        break;
      }
      if (c == '\\' && at + 1 < line.size()) c = line[++at];
      value += c;
    }
    if (!closed) return std::nullopt;
  } else {
    for (; at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '#'; ++at) {
      char c = line[at];
      if (c == '\\' && at + 1 < line.size()) c = line[++at];
      value += c;
    }
  }

  for (std::string_view name : {"$HOME", "${HOME}"}) {
    if (value.compare(0, name.size(), name) == 0 &&
        (value.size() == name.size() || value[name.size()] == '/')) {
      if (home.empty()) return std::nullopt;
      return home + value.substr(name.size());
    }
  }
  if (value.empty() || value[0] != '/') return std::nullopt;
  return value;
}

// A folder of user-dirs.dirs (XDG_DESKTOP_DIR and the like), the last
// assignment winning as it would in the shell; the fallback below the home
// folder when the file does not name it.
std::string UserDirectory(std::string_view key, const char* fallback) {
  std::string home = HomeDirectory();
  std::string config = XdgBase("XDG_CONFIG_HOME", ".config");
  std::optional<std::string> found;
  if (!config.empty()) {
    std::ifstream file(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(file, line)) {
      if (auto value = UserDirsValue(line, key, home)) found = std::move(value);
    }
  }
  if (found) return *found;
  return home.empty() ? std::string() : home + "/" + fallback;
}

std::string TempDirectory() {
  std::string value = Environment("TMPDIR");
  return !value.empty() && value[0] == '/' ? value : "/tmp";
}

std::string FolderOfKind(std::int32_t kind) {
  auto below = [](const std::string& base, const char* name) {
    return base.empty() ? base : base + "/" + name;
  };
  switch (kind) {
    case kFolderDocuments:
      return UserDirectory("XDG_DOCUMENTS_DIR", "Documents");
    case kFolderDesktop:
      return UserDirectory("XDG_DESKTOP_DIR", "Desktop");
    case kFolderFonts:
      return below(XdgBase("XDG_DATA_HOME", ".local/share"), "fonts");
    case kFolderStartMenu:
    case kFolderPrograms:
      // Menu entries of the user's own programs.
      return below(XdgBase("XDG_DATA_HOME", ".local/share"), "applications");
    case kFolderStartup:
      return below(XdgBase("XDG_CONFIG_HOME", ".config"), "autostart");
    case kFolderAppData:
      return XdgBase("XDG_CONFIG_HOME", ".config");
    case kFolderWindows:
      return "/";
    case kFolderSystem:
      return "/usr/lib";
    case kFolderTemp:
      return TempDirectory();
    default:
      // Favourites have no counterpart; other kinds are not folders.
      return "";
  }
}

// A file system path as GBK text; absent when GBK cannot hold it, since a
// path that does not convert back would name another file.
std::optional<AnsiText> ToAnsiPath(const std::string& path) {
  AnsiText ansi = Utf8ToAnsi(path);
  if (AnsiToUtf8(ansi) != path) return std::nullopt;
  return ansi;
}

std::optional<std::string> OwnExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) return std::nullopt;
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    if (buffer.size() >= 65536) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::string> FindOnPath(const std::string& program) {
  const char* variable = std::getenv("PATH");
  std::string path = variable != nullptr ? variable : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    // An empty entry would mean the current folder: not a place to run programs from.
    if (end > start) {
      std::string candidate = path.substr(start, end - start) + "/" + program;
      struct stat info {};
      if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
          access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    start = end + 1;
  }
  return std::nullopt;
}

// Owns a temporary file until it is renamed into place; removes it otherwise.
class TempFile {
 public:
  explicit TempFile(std::string pattern) : path_(std::move(pattern)) {
    fd_ = mkostemp(path_.data(), O_CLOEXEC);
    exists_ = fd_ >= 0;
  }
  ~TempFile() {
    Close();
    if (exists_) unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool Valid() const { return fd_ >= 0; }

  bool WriteAll(std::string_view data) {
    while (!data.empty()) {
      ssize_t written = write(fd_, data.data(), data.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      data.remove_prefix(static_cast<size_t>(written));
    }
    return true;
  }

  // Mode, contents on disk, then the rename: the final name only ever shows
  // a complete entry.
  bool CommitAs(const std::string& finalPath, mode_t mode) {
    if (fchmod(fd_, mode) != 0 || fsync(fd_) != 0 || !Close()) return false;
    if (rename(path_.c_str(), finalPath.c_str()) != 0) return false;
    exists_ = false;
    return true;
  }

 private:
  bool Close() {
    if (fd_ < 0) return true;
    int result = close(fd_);
    fd_ = -1;
    return result == 0;
  }

  std::string path_;
  int fd_ = -1;
  bool exists_ = false;
};

// A value of the string kind of desktop entries: backslash and control
// characters escaped, a leading space kept as \s.
std::string EscapeValue(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case ' ': out += i == 0 ? "\\s" : " "; break;
      default:
        // Other control characters cannot stand in a desktop entry.
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
    }
  }
  return out;
}

// One word of the Exec key: quoted when it holds a reserved character, with
// ", `, $ and \ escaped inside the quotes and % doubled everywhere.
std::string ExecWord(std::string_view word) {
  static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  bool quote = word.empty() || word.find_first_of(kReserved) != std::string_view::npos;
  std::string out = quote ? "\"" : "";
  for (char c : word) {
    if (c == '%') {
      out += "%%";
      continue;
    }
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

// Cuts a command-line argument text into words by the rules Windows programs
// read their command line with: blanks separate words outside double quotes;
// backslashes are literal unless they stand before a quote, where each pair
// gives one backslash and an odd one makes the quote literal.
std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (size_t i = 0; i < text.size();) {
    char c = text[i];
    if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      ++i;
      continue;
    }
    inWord = true;
    if (c == '\\') {
      size_t count = 0;
      while (i < text.size() && text[i] == '\\') ++count, ++i;
      if (i < text.size() && text[i] == '"') {
        word.append(count / 2, '\\');
        if (count % 2 == 1) {
          word += '"';
          ++i;
        }
      } else {
        word.append(count, '\\');
      }
      continue;
    }
    if (c == '"') {
      quoted = !quoted;
    } else {
      word += c;
    }
    ++i;
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::string DesktopEntry(const AnsiText& name, const AnsiText& target,
                         const std::optional<AnsiText>& description,
                         const std::optional<AnsiText>& arguments,
                         const std::optional<AnsiText>& workingDirectory) {
  std::string exec = ExecWord(AnsiToUtf8(target));
  if (arguments) {
    for (const std::string& word : SplitArguments(AnsiToUtf8(*arguments))) {
      exec += ' ';
      exec += ExecWord(word);
    }
  }
  std::string entry = "[Desktop Entry]\nType=Application\n";
  entry += "Name=" + EscapeValue(AnsiToUtf8(name)) + "\n";
  if (description) entry += "Comment=" + EscapeValue(AnsiToUtf8(*description)) + "\n";
  entry += "Exec=" + EscapeValue(exec) + "\n";
  if (workingDirectory) entry += "Path=" + EscapeValue(AnsiToUtf8(*workingDirectory)) + "\n";
  return entry;
}

}  // namespace

void OpenWebPage(const std::optional<AnsiText>& address) {
  std::string text = AnsiToUtf8(address ? *address : AnsiText(kDefaultWebPageAddress));
  std::optional<std::string> program = FindOnPath("xdg-open");
  if (!program) return;

  // Everything the children use is made before fork: after it, only calls
  // that are safe in a child of a threaded process.
  std::string name = "xdg-open";
  char* argv[] = {name.data(), text.data(), nullptr};
  const char* file = program->c_str();

  // Two forks: the grandchild runs xdg-open, the child ends at once and is
  // collected here, so the opener never waits for the browser and leaves no
  // zombie behind.
  pid_t child = fork();
  if (child < 0) return;
  if (child == 0) {
    pid_t grandchild = fork();
    if (grandchild == 0) {
      setsid();
      execv(file, argv);
      _exit(127);
    }
    _exit(grandchild < 0 ? 1 : 0);
  }
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

std::optional<AnsiText> SpecialFolderPath(std::int32_t kind) {
  std::string folder = FolderOfKind(kind);
  if (!IsDirectory(folder)) return std::nullopt;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.back() != '/') folder += '/';
  return ToAnsiPath(folder);
}

std::optional<AnsiText> RunDirectory() {
  std::optional<std::string> path = OwnExecutablePath();
  if (!path) return std::nullopt;
  std::optional<AnsiText> ansi = ToAnsiPath(*path);
  if (!ansi) return std::nullopt;
  size_t slash = ansi->rfind('/');
  return slash == AnsiText::npos ? AnsiText() : ansi->substr(0, slash);
}

std::optional<AnsiText> ExeFileName() {
  std::optional<std::string> path = OwnExecutablePath();
  if (!path) return std::nullopt;
  std::optional<AnsiText> ansi = ToAnsiPath(*path);
  if (!ansi) return std::nullopt;
  size_t slash = ansi->rfind('/');
  return slash == AnsiText::npos ? *ansi : ansi->substr(slash + 1);
}

bool CreateShortcut(const AnsiText& fileName, const AnsiText& target,
                    const std::optional<AnsiText>& description,
                    const std::optional<AnsiText>& arguments,
                    const std::optional<AnsiText>& workingDirectory) {
  AnsiText name = fileName;
  if (name.find('.') == AnsiText::npos) name += ".lnk";

  // The entry's name is the file name without folder and extension.
  size_t slash = name.rfind('/');
  AnsiText base = slash == AnsiText::npos ? name : name.substr(slash + 1);
  if (base.empty()) return false;
  size_t dot = base.rfind('.');
  AnsiText title = dot == 0 || dot == AnsiText::npos ? base : base.substr(0, dot);

  std::string path = AnsiToUtf8(name);
  size_t pathSlash = path.rfind('/');
  std::string folder = pathSlash == std::string::npos ? "" : path.substr(0, pathSlash + 1);

  TempFile temp(folder + ".tavrel-shortcut-XXXXXX");
  if (!temp.Valid()) return false;
  if (!temp.WriteAll(DesktopEntry(title, target, description, arguments, workingDirectory))) {
    return false;
  }
  return temp.CommitAs(path, 0755);
}

}  // namespace tavrel
