// Playlist files given on the command line, turned into a stream address and
// a title.
//
// Threads: any; they only read the named file.
#pragma once

#include <string>

namespace ornivox {

// The caller empties title and url first. Each resolver writes an output
// only when it has a value for it, and leaves both alone when no file of
// that name exists (a directory is not a file). A file that exists but
// cannot be opened or read throws std::system_error.
//
// PLS: url from the first "File1=" line, title from the first "Title1="
// line (keys in any ASCII case, untrimmed); a missing key gives the empty
// text. M3U: the last line holding "#EXTINF:-1," gives the title, the last
// holding "http://" the url. ASX: the first href closed by '"/>' gives the
// url; the title is the last <title> line up to it, or the first after it.
void ResolvePls(const std::string& file, std::string& title, std::string& url);
void ResolveAsx(const std::string& file, std::string& title, std::string& url);
void ResolveM3u(const std::string& file, std::string& title, std::string& url);

}  // namespace ornivox

namespace ornivox {

// The lower-cased (ASCII only) extension of a file name: from the last "."
// after the last "/", the dot included; empty when there is none.
std::string PlaylistExtension(const std::string& source);

}  // namespace ornivox
