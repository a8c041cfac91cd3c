// The calling thread's last error, as BASS_ErrorGetCode reports it.
#pragma once

namespace ornivox::audio {

int lastError();
void setLastError(int code);

// Records `code` and returns `result`, so failure paths read as one line.
template <typename T>
T fail(int code, T result) {
  setLastError(code);
  return result;
}

}  // namespace ornivox::audio
