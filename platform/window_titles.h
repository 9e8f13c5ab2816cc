#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The titles (UTF-8) of the top-level windows of an X display: the windows
// that the window manager lists in _NET_CLIENT_LIST when one runs, else the
// children of the root window (and, for a child without a title, its own
// children, which is where a frame without a title keeps the client).
// Titles come from _NET_WM_NAME, else WM_NAME; windows without a title are
// left out. The display is $DISPLAY unless one is named. Without a display
// (none set, none reachable) the list is empty; windows that vanish while
// they are looked at are skipped.
std::vector<std::string> listTopLevelWindowTitles(const char* displayName = nullptr);

// How much of each title the running-viewer check reads: at most 199
// characters, as the window-text buffer of that check holds.
inline constexpr std::size_t kTitleCharactersRead = 199;

// The first `count` characters (UTF-8 sequences, never cut in the middle) of
// a text; the whole text when it is shorter.
std::string_view leadingCharacters(std::string_view utf8, std::size_t count);

// Whether the first kTitleCharactersRead characters of any top-level
// window's title hold the text.
bool anyWindowTitleContains(std::string_view text, const char* displayName = nullptr);

}  // namespace orvane
