#include "platform/win32/direct_input.h"

#include <algorithm>
#include <cstring>

#include "platform/win32/library_entry.h"

namespace tornello {

namespace {

using CreateInput = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);

constexpr LONG axis_limit = 1000;

void release(IDirectInputDevice7A*& device) {
  if (!device) return;
  device->Unacquire();
  device->Release();
  device = nullptr;
}

bool set_axis_range(IDirectInputDevice7A* device, DWORD axis) {
  DIPROPRANGE range{};
  range.diph.dwSize = sizeof range;
  range.diph.dwHeaderSize = sizeof range.diph;
  range.diph.dwObj = axis;
  range.diph.dwHow = DIPH_BYOFFSET;
  range.lMin = -axis_limit;
  range.lMax = axis_limit;
  return SUCCEEDED(device->SetProperty(DIPROP_RANGE, &range.diph));
}

}  // namespace

bool DirectInput::reach_interface() {
  if (input_) return true;
  if (!library_) library_ = LoadLibraryW(L"DINPUT.DLL");
  if (!library_) return false;
  const auto create = library_entry<CreateInput>(library_, "DirectInputCreateEx");
  void* made = nullptr;
  if (!create || FAILED(create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput7A,
                               &made, nullptr))) {
    return false;
  }
  input_ = static_cast<IDirectInput7A*>(made);
  return true;
}

IDirectInputDevice7A* DirectInput::create_device(REFGUID guid, const DIDATAFORMAT& format) {
  if (!reach_interface()) return nullptr;
  void* made = nullptr;
  if (FAILED(input_->CreateDeviceEx(guid, IID_IDirectInputDevice7A, &made, nullptr))) {
    return nullptr;
  }
  auto* device = static_cast<IDirectInputDevice7A*>(made);
  if (FAILED(device->SetDataFormat(&format))) {
    device->Release();
    return nullptr;
  }
  return device;
}

bool DirectInput::init_keyboard() {
  if (!keyboard_) keyboard_ = create_device(GUID_SysKeyboard, c_dfDIKeyboard);
  return keyboard_ != nullptr;
}

bool DirectInput::read_keyboard(HWND window, KeyboardSnapshot& out) {
  if (!keyboard_ || !window) return false;
  if (!keyboard_acquired_) {
    keyboard_->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY);
    // Set while the device is not acquired, as DirectInput requires; a wait on
    // it wakes once the new state can be read, not merely when a key message
    // reaches the window.
    if (!keyboard_changed_) {
      keyboard_changed_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
      if (keyboard_changed_ && FAILED(keyboard_->SetEventNotification(keyboard_changed_))) {
        CloseHandle(keyboard_changed_);
        keyboard_changed_ = nullptr;
      }
    }
    keyboard_->Acquire();
    keyboard_acquired_ = true;
  }
  BYTE keys[256];
  if (FAILED(keyboard_->GetDeviceState(sizeof keys, keys))) {
    // Another window has the focus; bind and acquire again next time.
    keyboard_->Unacquire();
    keyboard_acquired_ = false;
    return false;
  }
  std::memcpy(out.keys, keys, sizeof keys);
  return true;
}

bool DirectInput::init_mouse() {
  if (!mouse_) mouse_ = create_device(GUID_SysMouse, c_dfDIMouse);
  mouse_set_up_ = false;
  return mouse_ != nullptr;
}

void DirectInput::release_mouse() {
  if (pointer_confined_) {
    ClipCursor(nullptr);
    ShowCursor(TRUE);
    pointer_confined_ = false;
  }
  if (mouse_) mouse_->Unacquire();
  mouse_set_up_ = false;
}

bool DirectInput::read_mouse(HWND window, MouseReading& out) {
  if (!mouse_ || !window) return false;
  if (GetForegroundWindow() != window) {
    release_mouse();
    return false;
  }
  if (!pointer_confined_) {
    RECT area;
    GetWindowRect(window, &area);
    ClipCursor(&area);
    ShowCursor(FALSE);
    pointer_confined_ = true;
  }
  if (!mouse_set_up_) {
    mouse_->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    DIPROPDWORD buffer{};
    buffer.diph.dwSize = sizeof buffer;
    buffer.diph.dwHeaderSize = sizeof buffer.diph;
    buffer.diph.dwHow = DIPH_DEVICE;
    buffer.dwData = mouse_buffer_entries;
    mouse_->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph);
    mouse_->Acquire();
    mouse_set_up_ = true;
  }

  DIDEVICEOBJECTDATA events[mouse_buffer_entries];
  DWORD count = mouse_buffer_entries;
  const HRESULT result = mouse_->GetDeviceData(sizeof events[0], events, &count, 0);
  if (result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED) {
    mouse_->Acquire();
    return false;
  }
  if (FAILED(result)) return false;

  MouseReading reading;
  for (DWORD i = 0; i < count; ++i) {
    const DIDEVICEOBJECTDATA& event = events[i];
    const bool held = (event.dwData & 0x80) != 0;
    switch (event.dwOfs) {
      case DIMOFS_X:
        reading.delta_x += static_cast<LONG>(event.dwData);
        break;
      case DIMOFS_Y:
        reading.delta_y += static_cast<LONG>(event.dwData);
        break;
      case DIMOFS_BUTTON0:
        mouse_buttons_[0] = held;
        break;
      case DIMOFS_BUTTON1:
        mouse_buttons_[1] = held;
        break;
      case DIMOFS_BUTTON2:
        mouse_buttons_[2] = held;
        break;
      default:
        break;
    }
  }
  if (result == DI_BUFFEROVERFLOW) {
    // Events were lost: no motion, and no button is trusted to be held.
    reading.delta_x = reading.delta_y = 0;
    mouse_buttons_[0] = mouse_buttons_[1] = false;
  }
  std::copy(mouse_buttons_.begin(), mouse_buttons_.end(), reading.buttons);
  out = reading;
  return true;
}

BOOL CALLBACK DirectInput::add_controller(LPCDIDEVICEINSTANCEA instance, LPVOID self) {
  auto& found = static_cast<DirectInput*>(self)->found_controllers_;
  found.push_back(instance->guidInstance);
  return found.size() < max_controllers ? DIENUM_CONTINUE : DIENUM_STOP;
}

int DirectInput::init_joysticks() {
  if (!controllers_.empty()) return static_cast<int>(controllers_.size());
  if (!reach_interface()) return 0;
  found_controllers_.clear();
  input_->EnumDevices(DIDEVTYPE_JOYSTICK, &DirectInput::add_controller, this, DIEDFL_ATTACHEDONLY);
  for (const GUID& guid : found_controllers_) {
    IDirectInputDevice7A* device = create_device(guid, c_dfDIJoystick);
    if (!device) continue;
    if (!set_axis_range(device, DIJOFS_X) || !set_axis_range(device, DIJOFS_Y)) {
      device->Release();
      continue;
    }
    device->Acquire();
    controllers_.push_back(device);
  }
  return static_cast<int>(controllers_.size());
}

bool DirectInput::read_joystick(int index, JoystickReading& out) {
  if (index < 0 || index >= static_cast<int>(controllers_.size())) return false;
  IDirectInputDevice7A* device = controllers_[static_cast<size_t>(index)];
  device->Poll();
  DIJOYSTATE state{};
  if (FAILED(device->GetDeviceState(sizeof state, &state))) {
    device->Acquire();
    return false;
  }
  JoystickReading reading;
  reading.x = state.lX;
  reading.y = state.lY;
  std::copy(std::begin(state.rgbButtons), std::end(state.rgbButtons), reading.buttons);
  out = reading;
  return true;
}

void DirectInput::close() {
  release_mouse();
  release(keyboard_);
  keyboard_acquired_ = false;
  if (keyboard_changed_) CloseHandle(keyboard_changed_);
  keyboard_changed_ = nullptr;
  release(mouse_);
  for (IDirectInputDevice7A*& device : controllers_) release(device);
  controllers_.clear();
  if (input_) input_->Release();
  input_ = nullptr;
  if (library_) FreeLibrary(library_);
  library_ = nullptr;
}

}  // namespace tornello
