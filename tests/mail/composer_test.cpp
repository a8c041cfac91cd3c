// The request mail as text, without a network: every byte of one message,
// then the header's rules (encoded words, folding, injected line breaks, the
// date) and the body's (unescaped texts, line breaks) over tables of cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "mail/composer.h"
#include "text/cp1254.h"

namespace ornivox::mail {
namespace {

std::string Cp(std::string_view utf8) { return text::utf8ToCp1254(utf8); }

// 2026-12-10 15:40:49 UTC.
constexpr std::time_t kWhen = 1796917249;

class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneGuard() {
    if (hadOld_) setenv("TZ", old_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::string old_;
  bool hadOld_ = false;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string HeaderOf(const std::string& message) { return message.substr(0, message.find("\r\n\r\n") + 2); }
std::string BodyOf(const std::string& message) { return message.substr(message.find("\r\n\r\n") + 4); }

// An RFC 2047 reader of our own, for texts too long to spell out: unfolds,
// then decodes B words, dropping the blanks between neighbouring ones.
std::string DecodeHeaderValue(std::string folded) {
  std::string value;
  for (std::size_t i = 0; i < folded.size(); ++i) {
    if (folded.compare(i, 2, "\r\n") == 0) ++i;
    else value += folded[i];
  }
  auto b64 = [](std::string_view in) {
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (char c : in) {
      const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
      const char* p = c == '=' ? nullptr : std::strchr(table, c);
      if (!p) break;
      acc = acc << 6 | static_cast<unsigned>(p - table);
      if ((bits += 6) >= 8) out += static_cast<char>((acc >> (bits -= 8)) & 0xff);
    }
    return out;
  };
  const std::string prefix = "=?iso-8859-9?B?";
  std::string out;
  bool lastWasWord = false;
  std::size_t pendingBlanks = 0;
  for (std::size_t i = 0; i < value.size();) {
    if (value.compare(i, prefix.size(), prefix) == 0) {
      const std::size_t end = value.find("?=", i + prefix.size());
      if (!lastWasWord) out.append(pendingBlanks, ' ');
      pendingBlanks = 0;
      out += b64(std::string_view(value).substr(i + prefix.size(), end - i - prefix.size()));
      i = end + 2;
      lastWasWord = true;
    } else if (value[i] == ' ') {
      ++pendingBlanks;
      ++i;
    } else {
      out.append(pendingBlanks, ' ');
      pendingBlanks = 0;
      out += value[i++];
      lastWasWord = false;
    }
  }
  out.append(pendingBlanks, ' ');
  return out;
}

// The field `name` of a header as sent, continuation lines included.
std::string Field(const std::string& header, const std::string& name) {
  const std::string key = "\r\n" + name + ": ";
  const std::string text = "\r\n" + header;
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return "<missing>";
  std::size_t end = at + key.size();
  while ((end = text.find("\r\n", end)) != std::string::npos && end + 2 < text.size() && text[end + 2] == ' ')
    end += 2;
  return text.substr(at + key.size(), end - at - key.size());
}

TEST(ComposeRequest, WholeMessageByteForByte) {
  ZoneGuard zone("<+03>-3");
  const Request request{"Ali Veli", "ali@dalgaton.example", Cp("Barış Manço"), Cp("<b>Dağlar & Dağlar</b>"),
                        Cp("Merhaba\n.nokta ile satır\n")};
  const std::string expected = Cp(
      "X-Mailer: Ornivox-Radyo Dinleme =?iso-8859-9?B?UHJvZ3Jhbf0=?=\r\n"
      "From: \"Ali Veli\" <ali@dalgaton.example>\r\n"
      "Reply-To: ali@dalgaton.example\r\n"
      "To: istek@dalgaton.example, dj@dalgaton.example\r\n"
      "Subject: [ISTEK]Ali Veli size istek =?iso-8859-9?B?bWVzYWr9IGf2bmRlcmRpLi4=?=\r\n"
      "Date: Thu, 10 Dec 2026 18:40:49 +0300\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: text/html; charset=iso-8859-9\r\n"
      "\r\n"
      "<html><head>\r\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1254\">\r\n"
      "<meta http-equiv=\"Content-Language\" content=\"tr\">\r\n"
      "</head><body>\r\n"
      "<table border=\"1\" width=\"100%\" id=\"tblıstek\" bordercolor=\"#CAE3FF\">\r\n"
      "\t<tr> \r\n"
      "\t\t<td width=\"185\" align=\"right\" bgcolor=\"#ECF5FF\"><font color=\"#666666\">\r\n"
      "\t\t&nbsp;Adı&nbsp;ve&nbsp;Soyadı</font></td> \r\n"
      "\t\t<td width=\"100%\">Ali Veli</td>  \r\n"
      "\t</tr> \r\n"
      "\t<tr>  \r\n"
      "\t\t<td width=\"185\" align=\"right\" bgcolor=\"#ECF5FF\"><font color=\"#666666\"> \r\n"
      "\t\tEposta</font></td> \r\n"
      "\t\t<td width=\"100%\">ali@dalgaton.example</td>  \r\n"
      "\t</tr> \r\n"
      "\t<tr>\r\n"
      "\t\t<td width=\"185\" align=\"right\" bgcolor=\"#ECF5FF\"><font color=\"#666666\">\r\n"
      "\t\tSanatçı Adı</font></td>\r\n"
      "\t\t<td width=\"100%\">Barış Manço</td>\r\n"
      "\t</tr>\r\n"
      "\t<tr>\r\n"
      "\t\t<td width=\"185\" align=\"right\" bgcolor=\"#ECF5FF\"><font color=\"#666666\"> \r\n"
      "\t\tİstek Şarkı</font></td> \r\n"
      "\t\t<td width=\"100%\">&lt;b&gt;Dağlar &amp; Dağlar&lt;/b&gt;</td> \r\n"
      "\t</tr> \r\n"
      "\t<tr> \r\n"
      "\t\t<td width=\"185\" align=\"right\" bgcolor=\"#ECF5FF\"><font color=\"#666666\"> \r\n"
      "\t\tMesaj</font></td> \r\n"
      "\t\t<td width=\"100%\">Merhaba\r\n.nokta ile satır\r\n</td> \r\n"
      "\t</tr>\r\n"
      "</table> \r\n"
      "<p align=\"center\"><font color=\"#666666\">Bu eposta ornivoxdan istek epostası olarak "
      "gönderilmiştir.</font></p>\r\n"
      "</body></html>\r\n");
  EXPECT_EQ(ComposeRequest(request, {"istek@dalgaton.example", "dj@dalgaton.example"}, kWhen), expected);
}

TEST(ComposeRequest, HeaderFieldsFromTheTypedTexts) {
  ZoneGuard zone("UTC");
  struct Case {
    const char* what;
    const char* name;  // UTF-8; sent in the code page
    const char* email;
    std::vector<std::string> recipients;
    const char* field;
    const char* expected;  // "<missing>" when the field must not be there
  };
  const Case cases[] = {
      {"plain name", "Ali", "a@x.example", {}, "Subject",
       "[ISTEK]Ali size istek =?iso-8859-9?B?bWVzYWr9IGf2bmRlcmRpLi4=?="},
      // Both longer than a line: folded before the last word.
      {"Turkish words run together into one encoded word", "Şükrü Öz", "a@x.example", {}, "Subject",
       "=?iso-8859-9?B?W0lTVEVLXd78a3L8INZ6?= size istek\r\n =?iso-8859-9?B?bWVzYWr9IGf2bmRlcmRpLi4=?="},
      {"ASCII that reads like an encoded word is encoded", "=?utf-8?Q?x?=", "a@x.example", {}, "Subject",
       "=?iso-8859-9?B?W0lTVEVLXT0/dXRmLTg/UT94Pz0=?= size istek\r\n =?iso-8859-9?B?bWVzYWr9IGf2bmRlcmRpLi4=?="},
      {"ASCII name quoted", "Ali \"Kral\" \\ Veli", "a@x.example", {}, "From",
       "\"Ali \\\"Kral\\\" \\\\ Veli\" <a@x.example>"},
      {"Turkish name encoded whole", "Şükrü", "a@x.example", {}, "From", "=?iso-8859-9?B?3vxrcvw=?= <a@x.example>"},
      {"ASCII name with a comma stays one phrase", "Veli, Ali", "a@x.example", {}, "From",
       "\"Veli, Ali\" <a@x.example>"},
      {"address list for Reply-To", "Ali", "a@x.example, b@y.example ,, c@z.example", {}, "Reply-To",
       "a@x.example, b@y.example, c@z.example"},
      {"no recipients, no To", "Ali", "a@x.example", {}, "To", "<missing>"},
      {"recipients listed", "Ali", "a@x.example", {"r1@s.example", "r2@s.example"}, "To",
       "r1@s.example, r2@s.example"},
      {"date", "Ali", "a@x.example", {}, "Date", "Thu, 10 Dec 2026 15:40:49 +0000"},
      {"version", "Ali", "a@x.example", {}, "MIME-Version", "1.0"},
      {"content type", "Ali", "a@x.example", {}, "Content-Type", "text/html; charset=iso-8859-9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string header = HeaderOf(ComposeRequest({Cp(c.name), c.email, "", "", ""}, c.recipients, kWhen));
    EXPECT_EQ(Field(header, c.field), c.expected);
  }
}

TEST(ComposeRequest, HeaderOrderIsFixed) {
  const std::string header = HeaderOf(ComposeRequest({"Ali", "a@x.example", "", "", ""}, {"r@s.example"}, kWhen));
  std::vector<std::string> names;
  for (const auto& line : Lines(header)) names.push_back(line.substr(0, line.find(':')));
  EXPECT_EQ(names, (std::vector<std::string>{"X-Mailer", "From", "Reply-To", "To", "Subject", "Date", "MIME-Version",
                                             "Content-Type"}));
}

TEST(ComposeRequest, LongNamesFoldIntoShortLinesAndReadBackWhole) {
  struct Case {
    const char* what;
    std::string name;  // UTF-8
  };
  std::string longTurkish;
  for (int i = 0; i < 60; ++i) longTurkish += i % 7 == 6 ? " " : "ç";
  std::string longAscii;
  for (int i = 0; i < 30; ++i) longAscii += "kelime ";
  const Case cases[] = {
      {"sixty Turkish letters with blanks", longTurkish},
      {"thirty ASCII words", longAscii},
      {"mixed, double blanks kept", "Ayşe  Gül   ve  Ali  " + longTurkish},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = Cp(c.name);
    const std::string header = HeaderOf(ComposeRequest({name, "a@x.example", "", "", ""}, {}, kWhen));
    for (const auto& line : Lines(header)) {
      EXPECT_LE(line.size(), 78u) << line;
      for (unsigned char ch : line) EXPECT_LT(ch, 0x80) << line;
    }
    EXPECT_EQ(DecodeHeaderValue(Field(header, "Subject")), "[ISTEK]" + name + Cp(" size istek mesajı gönderdi.."));
    const std::string from = DecodeHeaderValue(Field(header, "From"));
    const bool ascii = c.name.find('\xc3') == std::string::npos;
    EXPECT_EQ(from, (ascii ? "\"" + name + "\"" : name) + " <a@x.example>");
  }
}

TEST(ComposeRequest, LineBreaksTypedIntoNameOrAddressStartNoHeaderLine) {
  struct Case {
    const char* what;
    const char* name;
    const char* email;
    const char* from;  // the From field expected
  };
  const Case cases[] = {
      {"CR LF in the name", "Ali\r\nBcc: kurban@x.example", "a@x.example", "\"AliBcc: kurban@x.example\" <a@x.example>"},
      {"lone LF in the name", "Ali\nBcc: k@x.example", "a@x.example", "\"AliBcc: k@x.example\" <a@x.example>"},
      {"lone CR in the name", "Ali\rBcc: k@x.example", "a@x.example", "\"AliBcc: k@x.example\" <a@x.example>"},
      {"CR LF in the address", "Ali", "a@x.example\r\nBcc: k@x.example", "\"Ali\" <a@x.exampleBcc: k@x.example>"},
      {"trailing line break in the address", "Ali", "a@x.example\r\n", "\"Ali\" <a@x.example>"},
      {"a blank line in the name", "Ali\r\n\r\n<b>", "a@x.example", "\"Ali<b>\" <a@x.example>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string message = ComposeRequest({c.name, c.email, "", "", ""}, {"r@s.example"}, kWhen);
    const std::string header = HeaderOf(message);
    std::vector<std::string> names;
    for (const auto& line : Lines(header)) {
      if (line.empty() || line[0] == ' ') continue;
      names.push_back(line.substr(0, line.find(':')));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"X-Mailer", "From", "Reply-To", "To", "Subject", "Date",
                                               "MIME-Version", "Content-Type"}));
    EXPECT_EQ(Field(header, "From"), c.from);
    // The only bare CR or LF in the message would be one we let through.
    for (std::size_t i = 0; i < message.size(); ++i) {
      if (message[i] == '\r') {
        EXPECT_EQ(message[i + 1], '\n') << i;
      } else if (message[i] == '\n') {
        EXPECT_EQ(message[i - 1], '\r') << i;
      }
    }
  }
}

TEST(ComposeRequest, BodyTakesTextsAsTextWithCrLfLineBreaks) {
  struct Case {
    const char* what;
    Request request;
    int line;  // 1-based line of the body that the text lands in
    const char* expected;
  };
  const Case cases[] = {
      {"markup in the artist", {"A", "e", "<i>x</i> & y", "", ""}, 19,
       "\t\t<td width=\"100%\">&lt;i&gt;x&lt;/i&gt; &amp; y</td>"},
      {"ampersand in the song", {"A", "e", "", "Tom & Jerry", ""}, 24, "\t\t<td width=\"100%\">Tom &amp; Jerry</td> "},
      {"a link in the message", {"A", "e", "", "", "<a href=\"http://x.example\">tıkla</a>"}, 29,
       "\t\t<td width=\"100%\">&lt;a href=&quot;http://x.example&quot;&gt;tıkla&lt;/a&gt;</td> "},
      {"apostrophes in the name", {"O'Neil", "e", "", "", ""}, 9, "\t\t<td width=\"100%\">O&#39;Neil</td>  "},
      {"references typed as text", {"A", "e", "", "&amp; &#60;", ""}, 24,
       "\t\t<td width=\"100%\">&amp;amp; &amp;#60;</td> "},
      {"two-line message", {"A", "e", "", "", "bir\r\niki"}, 29, "\t\t<td width=\"100%\">bir\r\niki</td> "},
      {"lone LF in the message", {"A", "e", "", "", "bir\niki"}, 29, "\t\t<td width=\"100%\">bir\r\niki</td> "},
      {"lone CR in the message", {"A", "e", "", "", "bir\riki"}, 29, "\t\t<td width=\"100%\">bir\r\niki</td> "},
      {"empty lines kept", {"A", "e", "", "", "bir\n\n\niki"}, 29,
       "\t\t<td width=\"100%\">bir\r\n\r\n\r\niki</td> "},
      {"blanks kept", {"  A  ", "e", "", "", ""}, 9, "\t\t<td width=\"100%\">  A  </td>  "},
      {"line break in the name stays in the body", {"A\nB", "e", "", "", ""}, 9, "\t\t<td width=\"100%\">A\r\nB</td>  "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string body = BodyOf(ComposeRequest(c.request, {}, kWhen));
    // Count the body's own line ends: the texts' breaks sit inside one line.
    std::vector<std::string> lines = Lines(body);
    const std::string expected = c.expected;
    const std::size_t extra = static_cast<std::size_t>(std::count(expected.begin(), expected.end(), '\n'));
    ASSERT_EQ(lines.size(), 33u + extra);
    std::string joined = lines[static_cast<std::size_t>(c.line - 1)];
    for (std::size_t k = 1; k <= extra; ++k) joined += "\r\n" + lines[static_cast<std::size_t>(c.line - 1) + k];
    EXPECT_EQ(joined, expected);
  }
}

// The text a reader shows for a body cell: comments and line ends inside
// them dropped, character references read back.
std::string ShownText(std::string cell) {
  for (std::size_t at; (at = cell.find("<!--")) != std::string::npos;) cell.erase(at, cell.find("-->", at) + 3 - at);
  const std::pair<const char*, const char*> references[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
  std::string out;
  for (std::size_t i = 0; i < cell.size();) {
    bool replaced = false;
    for (const auto& [reference, character] : references) {
      if (cell.compare(i, std::strlen(reference), reference) == 0) {
        out += character;
        i += std::strlen(reference);
        replaced = true;
        break;
      }
    }
    if (!replaced) out += cell[i++];
  }
  return out;
}

TEST(ComposeRequest, LongParagraphsKeepToTheLineLimitAndArriveWhole) {
  struct Case {
    const char* what;
    std::string message;
  };
  const Case cases[] = {
      {"one word of 5000 letters", std::string(5000, 'x')},
      {"words and blanks", [] {
         std::string text;
         for (int i = 0; i < 600; ++i) text += "kelime ";
         return text;
       }()},
      {"references at every cut", [] {
         std::string text;
         for (int i = 0; i < 1000; ++i) text += "a&<\"'";
         return text;
       }()},
      {"Turkish letters", Cp(std::string(1500, 's') + "şğüıöçŞĞÜİÖÇ")},
      {"exactly at the limit", std::string(900, 'y')},
      {"a long line between short ones", "kısa\n" + std::string(2500, 'z') + "\nkısa"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string message = ComposeRequest({"A", "e", "", "", c.message}, {"istek@dalgaton.example"}, kWhen);
    for (const std::string& line : Lines(message)) EXPECT_LE(line.size(), 998u);
    const std::string open = "<td width=\"100%\">";
    const std::size_t cell = message.rfind(open);
    ASSERT_NE(cell, std::string::npos);
    const std::size_t from = cell + open.size();
    const std::string shown = ShownText(message.substr(from, message.find("</td>", from) - from));
    std::string typed = c.message;
    for (std::size_t at = 0; (at = typed.find('\n', at)) != std::string::npos; at += 2) typed.replace(at, 1, "\r\n");
    EXPECT_EQ(shown, typed);
  }
}

TEST(MailDate, EnglishNamesAndTheZoneOffset) {
  struct Case {
    const char* zone;
    std::time_t when;
    const char* expected;
  };
  const Case cases[] = {
      {"UTC", 0, "Thu, 01 Jan 1970 00:00:00 +0000"},
      {"<+03>-3", kWhen, "Thu, 10 Dec 2026 18:40:49 +0300"},
      {"<-0530>5:30", kWhen, "Thu, 10 Dec 2026 10:10:49 -0530"},
      {"<+14>-14", kWhen, "Fri, 11 Dec 2026 05:40:49 +1400"},
      {"UTC", 951782400, "Tue, 29 Feb 2000 00:00:00 +0000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zone);
    ZoneGuard zone(c.zone);
    EXPECT_EQ(MailDate(c.when), c.expected);
  }
}

TEST(SplitAddressList, TrimsAndDropsEmptyItems) {
  struct Case {
    const char* list;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"", {}},
      {" , ,", {}},
      {"a@x", {"a@x"}},
      {" a@x ,b@y,\tc@z\t", {"a@x", "b@y", "c@z"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitAddressList(c.list), c.expected) << c.list;
}

}  // namespace
}  // namespace ornivox::mail
