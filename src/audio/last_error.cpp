#include "audio/last_error.h"

namespace ornivox::audio {
namespace {
thread_local int tlsLastError = 0;
}

int lastError() { return tlsLastError; }
void setLastError(int code) { tlsLastError = code; }

}  // namespace ornivox::audio
