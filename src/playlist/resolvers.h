// Playlist files given on the command line, turned into a stream address and
// a title.
//
// Threads: any; they only read the named file.
#pragma once

#include <string>

namespace ornivox {

// Each leaves title and url unchanged when the file gives nothing.
void ResolvePls(const std::string& file, std::string& title, std::string& url);
void ResolveAsx(const std::string& file, std::string& title, std::string& url);
void ResolveM3u(const std::string& file, std::string& title, std::string& url);

}  // namespace ornivox

namespace ornivox {

// The lower-cased (ASCII only) extension of a file name: from the last "."
// after the last "/", the dot included; empty when there is none.
std::string PlaylistExtension(const std::string& source);

}  // namespace ornivox
