#include "metadata/header_tags.h"

namespace ornivox {

// No tag is read yet: the station line keeps the configured name and the
// title line the slogan.
void ReadHeaderTags(const TagContext&) {}

}  // namespace ornivox
