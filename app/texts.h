#pragma once

// Every fixed text and address the program shows or uses, in one place. All
// of them are GBK text (the literals are compiled to the ANSI code page).

#include "runtime/values.h"

namespace tavrel {

// The maker's host name, home page, and the product page opened at start.
extern const char kMakerWebAddress[];
extern const char kHomePageAddress[];
extern const char kProductPageAddress[];
// The address OpenWebPage opens when it is given none.
extern const char kDefaultWebPageAddress[];

// The chat-group line of the success message: a label and a group number.
extern const char kChatGroupLine[];

// The desktop shortcut to the program.
extern const char kShortcutFileName[];
extern const char kShortcutDescription[];

// Message boxes.
extern const char kDefaultMessageTitle[];
extern const char kSuccessTitle[];
extern const char kFailureTitle[];

// The calibration result messages, built once from the texts above.
const AnsiText& SuccessMessage();
const AnsiText& FailureMessage();

}  // namespace tavrel
