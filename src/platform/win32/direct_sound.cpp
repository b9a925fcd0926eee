#include "platform/win32/direct_sound.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/win32/library_entry.h"

namespace tornello {

namespace {

using CreateSound = HRESULT(WINAPI*)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN);

constexpr DWORD frame_bytes = 2 * sizeof(int16_t);
constexpr DWORD buffer_bytes =
    DirectSoundDevice::buffer_chunks * DirectSoundDevice::chunk_frames * frame_bytes;
constexpr DWORD ahead_bytes =
    DirectSoundDevice::ahead_chunks * DirectSoundDevice::chunk_frames * frame_bytes;
// How often the feeding thread looks at the play cursor.
constexpr DWORD feed_interval_ms = 4;

int16_t to_sample(float value) {
  return static_cast<int16_t>(std::clamp(value, -1.0f, 1.0f) * 32767.0f);
}

template <typename T>
void release(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

}  // namespace

DirectSoundDevice::DirectSoundDevice() {
  InitializeCriticalSection(&section_);
}

DirectSoundDevice::~DirectSoundDevice() {
  close();
  DeleteCriticalSection(&section_);
}

bool DirectSoundDevice::open(MixFunction mix, AudioFormat& granted) {
  close();
  // The device window exists only because DirectSound binds to a window: a 1x1
  // pop-up that is never shown.
  device_window_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
  if (!device_window_ || !create_buffers()) {
    close();
    return false;
  }
  mix_ = std::move(mix);
  mixed_.assign(static_cast<size_t>(chunk_frames) * 2, 0.0f);
  chunks_mixed_ = 0;

  // Start from silence, a few chunks ahead, then let the thread keep up.
  void* part = nullptr;
  DWORD part_bytes = 0;
  if (SUCCEEDED(stream_->Lock(0, buffer_bytes, &part, &part_bytes, nullptr, nullptr, 0))) {
    std::fill_n(static_cast<uint8_t*>(part), part_bytes, uint8_t{0});
    stream_->Unlock(part, part_bytes, nullptr, 0);
  }
  write_at_ = ahead_bytes;
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!stop_ || FAILED(stream_->Play(0, 0, DSBPLAY_LOOPING))) {
    close();
    return false;
  }
  thread_ = CreateThread(nullptr, 0, &DirectSoundDevice::feed_thread, this, 0, nullptr);
  if (!thread_) {
    close();
    return false;
  }
  SetThreadPriority(thread_, THREAD_PRIORITY_TIME_CRITICAL);
  granted.rate = rate;
  granted.channels = 2;
  granted.buffer_frames = chunk_frames;
  return true;
}

bool DirectSoundDevice::create_buffers() {
  library_ = LoadLibraryW(L"DSOUND.DLL");
  if (!library_) return false;
  const auto create = library_entry<CreateSound>(library_, "DirectSoundCreate");
  if (!create || FAILED(create(nullptr, &sound_, nullptr))) return false;
  if (FAILED(sound_->SetCooperativeLevel(device_window_, DSSCL_PRIORITY))) return false;

  DSBUFFERDESC primary{};
  primary.dwSize = sizeof primary;
  primary.dwFlags = DSBCAPS_PRIMARYBUFFER;
  if (FAILED(sound_->CreateSoundBuffer(&primary, &primary_, nullptr))) return false;

  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(frame_bytes);
  format.nAvgBytesPerSec = rate * frame_bytes;
  DSBUFFERDESC stream{};
  stream.dwSize = sizeof stream;
  stream.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
  stream.dwBufferBytes = buffer_bytes;
  stream.lpwfxFormat = &format;
  return SUCCEEDED(sound_->CreateSoundBuffer(&stream, &stream_, nullptr));
}

DWORD WINAPI DirectSoundDevice::feed_thread(LPVOID self) {
  auto* device = static_cast<DirectSoundDevice*>(self);
  while (WaitForSingleObject(device->stop_, feed_interval_ms) == WAIT_TIMEOUT) device->feed();
  return 0;
}

void DirectSoundDevice::feed() {
  DWORD play = 0, safe = 0;
  if (FAILED(stream_->GetCurrentPosition(&play, &safe))) return;
  DWORD ahead = (write_at_ + buffer_bytes - play) % buffer_bytes;
  if (ahead > buffer_bytes / 2) {
    // The play cursor overtook us (the thread was held up): go on from the
    // first byte that may still be written.
    write_at_ = safe;
    ahead = (safe + buffer_bytes - play) % buffer_bytes;
  }
  const DWORD chunk_bytes = chunk_frames * frame_bytes;
  while (ahead + chunk_bytes <= ahead_bytes) {
    write(write_at_, chunk_frames);
    write_at_ = (write_at_ + chunk_bytes) % buffer_bytes;
    ahead += chunk_bytes;
  }
}

void DirectSoundDevice::write(DWORD offset, int frames) {
  lock();
  mix_(mixed_.data(), frames);
  unlock();
  InterlockedIncrement(&chunks_mixed_);

  void* parts[2] = {};
  DWORD sizes[2] = {};
  const DWORD bytes = static_cast<DWORD>(frames) * frame_bytes;
  HRESULT locked = stream_->Lock(offset, bytes, &parts[0], &sizes[0], &parts[1], &sizes[1], 0);
  if (locked == DSERR_BUFFERLOST) {
    stream_->Restore();
    locked = stream_->Lock(offset, bytes, &parts[0], &sizes[0], &parts[1], &sizes[1], 0);
  }
  if (FAILED(locked)) return;
  // The locked region may wrap round the buffer's end into a second part.
  const float* sample = mixed_.data();
  for (int p = 0; p < 2; ++p) {
    auto* out = static_cast<int16_t*>(parts[p]);
    for (DWORD i = 0; out && i < sizes[p] / sizeof(int16_t); ++i) out[i] = to_sample(*sample++);
  }
  stream_->Unlock(parts[0], sizes[0], parts[1], sizes[1]);
}

void DirectSoundDevice::close() {
  if (thread_) {
    SetEvent(stop_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  if (stop_) CloseHandle(stop_);
  stop_ = nullptr;
  if (stream_) stream_->Stop();
  release(stream_);
  release(primary_);
  release(sound_);
  if (library_) FreeLibrary(library_);
  library_ = nullptr;
  if (device_window_) DestroyWindow(device_window_);
  device_window_ = nullptr;
  mix_ = nullptr;
}

}  // namespace tornello
