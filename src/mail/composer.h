// The song request as an HTML e-mail: the whole message text, header and
// body, ready for the SMTP DATA phase. Texts in and out are code page 1254
// bytes; the header declares iso-8859-9, which has the same Turkish letters
// at the same places.
//
// Threads: any; nothing is shared.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace ornivox::mail {

// What the listener typed, as the window holds it.
struct Request {
  std::string name;
  std::string email;
  std::string artist;
  std::string song;
  std::string message;
};

// The complete message, lines ending in CR LF. `now` becomes the Date field,
// in the machine's local time zone. CR and LF in the name and the address are
// dropped before they reach the header; the body takes every text as text
// (HTML's special characters escaped), with line breaks of any kind made
// CR LF and lines longer than SMTP allows cut where the reader shows nothing.
std::string ComposeRequest(const Request& request, const std::vector<std::string>& recipients, std::time_t now);

// A header text with each run of words that holds a byte above 127 (or that
// would read as an encoded word) turned into "=?iso-8859-9?B?...?=" words of at
// most 65 characters; plain ASCII words stay as they are.
std::string EncodeHeaderText(std::string_view cp1254);

// "a@x, b@y" -> {"a@x", "b@y"}: blanks around each trimmed, empty ones dropped.
std::vector<std::string> SplitAddressList(std::string_view list);

// "Thu, 10 Dec 2026 18:40:49 +0300": English names whatever the locale.
std::string MailDate(std::time_t when);

// Folds a header line longer than 78 characters at its blanks (CR LF before
// the blank), so no line of the header grows past that where a blank allows.
std::string FoldHeaderLine(std::string_view line);

}  // namespace ornivox::mail
