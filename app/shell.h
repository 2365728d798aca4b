#pragma once

// The start-up shell actions: opening the product page in the browser and
// writing a shortcut to the program onto the desktop, with the path queries
// they need. Every failure is a result (an absent text or false); nothing
// here shows a message.
//
// Windows: the shell, the ANSI path functions and the shell link object.
// Linux: xdg-open, the XDG folders and a freedesktop desktop entry, with the
// same arguments and results; paths are handed out as GBK text like all the
// program's texts.

#include <cstdint>
#include <optional>

#include "runtime/values.h"

namespace tavrel {

// The path separator the path operations use and hand out: "\\" on Windows,
// "/" on Linux.
extern const char* const kPathSeparator;

// Asks the shell to open the address (kDefaultWebPageAddress of app/texts.h
// when none is given) in the program registered for it. Whether that worked
// is not reported.
void OpenWebPage(const std::optional<AnsiText>& address = std::nullopt);

// Folder kinds of SpecialFolderPath.
inline constexpr std::int32_t kFolderDocuments = 1;
inline constexpr std::int32_t kFolderFavourites = 2;
inline constexpr std::int32_t kFolderDesktop = 3;
inline constexpr std::int32_t kFolderFonts = 4;
inline constexpr std::int32_t kFolderStartMenu = 5;
inline constexpr std::int32_t kFolderPrograms = 6;
inline constexpr std::int32_t kFolderStartup = 7;
inline constexpr std::int32_t kFolderAppData = 8;
inline constexpr std::int32_t kFolderWindows = 9;
inline constexpr std::int32_t kFolderSystem = 10;
inline constexpr std::int32_t kFolderTemp = 11;

// The folder of the given kind, ending in kPathSeparator; absent for any other
// kind, and when the platform cannot give the folder or it does not fit a
// path buffer.
std::optional<AnsiText> SpecialFolderPath(std::int32_t kind);

// The folder holding the program's own executable, without a final
// separator ("C:" for an executable at the root of a drive).
std::optional<AnsiText> RunDirectory();

// The file name of the program's own executable, without any folder.
std::optional<AnsiText> ExeFileName();

// Writes a shortcut to target under fileName (".lnk" added when fileName has
// no "." at all), replacing any shortcut of that name. True when the file was
// written.
bool CreateShortcut(const AnsiText& fileName, const AnsiText& target,
                    const std::optional<AnsiText>& description = std::nullopt,
                    const std::optional<AnsiText>& arguments = std::nullopt,
                    const std::optional<AnsiText>& workingDirectory = std::nullopt);

}  // namespace tavrel
