// The kit driver's actions, one function each: they read their options and
// return the JSON object the program prints (watch, record, boxes and
// stand-in print as they go and return the exit status).
#pragma once

#include "driver_support.h"

namespace kit_driver {

// Windows and the kit's dialog (window_actions.cpp).
json act_wait_window(const Options& options);
json act_wait_gone(const Options& options);
json act_dialog_state(const Options& options);
json act_press(const Options& options);
json act_key(const Options& options);
json act_close(const Options& options);
json act_list_windows(const Options& options);
int act_watch(const Options& options);
int act_record(const Options& options);

// Message boxes (message_boxes.cpp).
json act_message_box(const Options& options);
json act_answer(const Options& options);
// A box's shown buttons, left to right: id, text, enabled.
json buttons_json(HWND box);

// What a kit under trial does next, and every box it shows (step_actions.cpp).
json act_next(const Options& options);
int act_boxes(const Options& options);

// The registry (registry_actions.cpp).
json act_reg_get(const Options& options);
json act_reg_dump(const Options& options);
json act_reg_set(const Options& options);
json act_reg_delete(const Options& options);

// Files and processes (process_actions.cpp).
json act_file_info(const Options& options);
json act_spawn(const Options& options);
json act_kill(const Options& options);
json act_wait_exit(const Options& options);

// Waits up to `timeout` ms for an opened process to end and closes the
// handle; its exit code, or a Failure naming `what` when it still runs.
DWORD wait_for_exit(HANDLE process, DWORD timeout, const std::string& what);

// A stand-in for a running program (stand_in.cpp).
int act_stand_in(const Options& options);

}  // namespace kit_driver
