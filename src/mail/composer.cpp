#include "mail/composer.h"

#include <array>
#include <cstdio>

#include "text/cp1254.h"

namespace ornivox::mail {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kWordStart = "=?iso-8859-9?B?";
constexpr std::string_view kWordEnd = "?=";
// Encoded words may be 75 characters long, but one that opens a field has to
// share its line with the field's name: 36 bytes of text make 48 of base64,
// 65 with the framing, which leaves room for "Subject: " within 78.
constexpr std::size_t kBytesPerWord = 36;
constexpr std::size_t kFoldAt = 78;

// The program's texts are written here in UTF-8 and sent in its code page.
std::string Cp(std::string_view utf8) { return text::utf8ToCp1254(utf8); }

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (n > 1) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (n > 2) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[v & 63] : '=';
  }
  return out;
}

// The whole text as encoded words, one after another with a blank between
// them, which readers drop when they decode.
std::string EncodedWords(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size() || i == 0; i += kBytesPerWord) {
    if (i > 0) out += ' ';
    out += kWordStart;
    out += Base64(bytes.substr(i, kBytesPerWord));
    out += kWordEnd;
    if (bytes.empty()) break;
  }
  return out;
}

bool NeedsEncoding(std::string_view word) {
  for (unsigned char c : word)
    if (c >= 0x80 || c < 0x20 || c == 0x7f) return true;
  return word.find("=?") != std::string_view::npos;
}

bool IsAscii(std::string_view text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

// A typed CR or LF would end the header line and start a field of the
// typist's choosing.
std::string HeaderSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

// SMTP carries only CR LF line ends; a lone CR or LF becomes one.
std::string CrLfLines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += kCrLf;
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += kCrLf;
    } else {
      out += text[i];
    }
  }
  return out;
}

// What a listener typed, as text in the HTML body: never markup or a link
// of their making in the station's mail reader.
std::string HtmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

// SMTP lines may hold 998 octets. A longer line of typed text is cut into
// pieces joined by an HTML comment that holds the line break, which a mail
// reader shows as nothing at all: the text arrives whole. The cut never falls
// inside a character reference. Room is left for the table cell around it.
constexpr std::size_t kBodyPiece = 900;
constexpr std::string_view kInvisibleBreak = "<!--\r\n-->";

std::string ShortLines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t end = text.find(kCrLf);
    const std::size_t length = end == std::string_view::npos ? text.size() : end;
    if (length <= kBodyPiece) {
      const std::size_t take = end == std::string_view::npos ? text.size() : end + kCrLf.size();
      out += text.substr(0, take);
      text.remove_prefix(take);
      continue;
    }
    std::size_t cut = kBodyPiece;
    const std::size_t amp = text.rfind('&', cut - 1);
    if (amp != std::string_view::npos && amp > 0 && text.find(';', amp) >= cut) cut = amp;
    out += text.substr(0, cut);
    out += kInvisibleBreak;
    text.remove_prefix(cut);
  }
  return out;
}

std::string DisplayName(std::string_view name) {
  if (!IsAscii(name)) return EncodedWords(name);
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (const auto& item : items) {
    if (!out.empty()) out += separator;
    out += item;
  }
  return out;
}

void AddField(std::string& out, std::string_view name, std::string_view value) {
  std::string line(name);
  line += ": ";
  line += value;
  out += FoldHeaderLine(line);
  out += kCrLf;
}

struct BodyLine {
  int tabs;
  std::string_view text;  // UTF-8 here; empty when the line is a value cell
  int field;              // which typed text the value cell holds, or -1
  int spaces;
};

constexpr std::string_view kLabelCell = R"(<td width="185" align="right" bgcolor="#ECF5FF"><font color="#666666">)";

// The table of the mail's body: name, address, artist, song, message.
constexpr std::array<BodyLine, 33> kBody{{
    {0, "<html><head>", -1, 0},
    {0, R"(<meta http-equiv="Content-Type" content="text/html; charset=windows-1254">)", -1, 0},
    {0, R"(<meta http-equiv="Content-Language" content="tr">)", -1, 0},
    {0, "</head><body>", -1, 0},
    {0, R"(<table border="1" width="100%" id="tblıstek" bordercolor="#CAE3FF">)", -1, 0},
    {1, "<tr>", -1, 1},
    {2, kLabelCell, -1, 0},
    {2, "&nbsp;Adı&nbsp;ve&nbsp;Soyadı</font></td>", -1, 1},
    {2, {}, 0, 2},
    {1, "</tr>", -1, 1},
    {1, "<tr>", -1, 2},
    {2, kLabelCell, -1, 1},
    {2, "Eposta</font></td>", -1, 1},
    {2, {}, 1, 2},
    {1, "</tr>", -1, 1},
    {1, "<tr>", -1, 0},
    {2, kLabelCell, -1, 0},
    {2, "Sanatçı Adı</font></td>", -1, 0},
    {2, {}, 2, 0},
    {1, "</tr>", -1, 0},
    {1, "<tr>", -1, 0},
    {2, kLabelCell, -1, 1},
    {2, "İstek Şarkı</font></td>", -1, 1},
    {2, {}, 3, 1},
    {1, "</tr>", -1, 1},
    {1, "<tr>", -1, 1},
    {2, kLabelCell, -1, 1},
    {2, "Mesaj</font></td>", -1, 1},
    {2, {}, 4, 1},
    {1, "</tr>", -1, 0},
    {0, "</table>", -1, 1},
    {0, R"(<p align="center"><font color="#666666">Bu eposta ornivoxdan istek epostası olarak gönderilmiştir.</font></p>)",
     -1, 0},
    {0, "</body></html>", -1, 0},
}};

}  // namespace

std::string EncodeHeaderText(std::string_view text) {
  std::vector<std::string_view> words;
  for (std::size_t start = 0;;) {
    const std::size_t blank = text.find(' ', start);
    words.push_back(text.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start));
    if (blank == std::string_view::npos) break;
    start = blank + 1;
  }
  // Neighbouring encoded words lose the blanks between them when read, so a
  // run of words to encode becomes one text, blanks included.
  std::string out;
  for (std::size_t i = 0; i < words.size();) {
    if (i > 0) out += ' ';
    if (!NeedsEncoding(words[i])) {
      out += words[i++];
      continue;
    }
    std::size_t last = i;
    for (std::size_t k = i + 1; k < words.size(); ++k) {
      if (words[k].empty()) continue;
      if (!NeedsEncoding(words[k])) break;
      last = k;
    }
    const std::size_t from = static_cast<std::size_t>(words[i].data() - text.data());
    const std::size_t to = static_cast<std::size_t>(words[last].data() - text.data()) + words[last].size();
    out += EncodedWords(text.substr(from, to - from));
    i = last + 1;
  }
  return out;
}

std::string FoldHeaderLine(std::string_view line) {
  // Never fold in front of the first blank after the field name, so no line
  // holds the name alone.
  const std::size_t first = line.find(' ');
  std::string out;
  while (line.size() > kFoldAt && first != std::string_view::npos) {
    std::size_t at = line.rfind(' ', kFoldAt);
    if (at == std::string_view::npos || at == 0 || (out.empty() && at <= first)) {
      at = line.find(' ', out.empty() ? first + 1 : 1);
      if (at == std::string_view::npos) break;
    }
    out += line.substr(0, at);
    out += kCrLf;
    line.remove_prefix(at);
  }
  out += line;
  return out;
}

std::string MailDate(std::time_t when) {
  static constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  localtime_r(&when, &local);
  const long offset = local.tm_gmtoff / 60;
  const long magnitude = offset < 0 ? -offset : offset;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday % 7],
                local.tm_mday, kMonths[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                local.tm_sec, offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  return buffer;
}

std::string ComposeRequest(const Request& request, const std::vector<std::string>& recipients, std::time_t now) {
  const std::string name = HeaderSafe(request.name);
  const std::string email = HeaderSafe(request.email);

  std::string out;
  out += FoldHeaderLine("X-Mailer: " + EncodeHeaderText(Cp("Ornivox-Radyo Dinleme Programı")));
  out += kCrLf;
  AddField(out, "From", name.empty() ? "<" + email + ">" : DisplayName(name) + " <" + email + ">");
  if (const std::string replyTo = Join(SplitAddressList(email), ", "); !replyTo.empty())
    AddField(out, "Reply-To", replyTo);
  std::vector<std::string> to;
  for (const auto& recipient : recipients) to.push_back(HeaderSafe(recipient));
  if (!to.empty()) AddField(out, "To", Join(to, ", "));
  AddField(out, "Subject", EncodeHeaderText("[ISTEK]" + name + Cp(" size istek mesajı gönderdi..")));
  AddField(out, "Date", MailDate(now));
  AddField(out, "MIME-Version", "1.0");
  AddField(out, "Content-Type", "text/html; charset=iso-8859-9");
  out += kCrLf;

  const std::array<const std::string*, 5> fields{&request.name, &request.email, &request.artist, &request.song,
                                                 &request.message};
  for (const BodyLine& line : kBody) {
    out.append(static_cast<std::size_t>(line.tabs), '\t');
    if (line.field >= 0) {
      out += R"(<td width="100%">)";
      out += ShortLines(CrLfLines(HtmlEscaped(*fields[static_cast<std::size_t>(line.field)])));
      out += "</td>";
    } else {
      out += Cp(line.text);
    }
    out.append(static_cast<std::size_t>(line.spaces), ' ');
    out += kCrLf;
  }
  return out;
}

std::vector<std::string> SplitAddressList(std::string_view list) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    std::string_view item = list.substr(start, comma - start);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    if (!item.empty()) out.emplace_back(item);
    start = comma + 1;
  }
  return out;
}

}  // namespace ornivox::mail
