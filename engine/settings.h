// The engine's process-wide settings (xb_Set* entry points and xb_SysProp) and their defaults.
// Read by tables and expressions at each use. Single-threaded.
#ifndef VELLORIA_ENGINE_SETTINGS_H_
#define VELLORIA_ENGINE_SETTINGS_H_

#include <string>

#include "engine/expr.h"

namespace xb {

struct Settings {
  bool deleted = false;  // hide records marked deleted
  bool exact = false;
  int epoch = 1900;
  bool century = false;
  int date_format = kDateAmerican;
  bool soft_seek = false;
  int memo_block_size = 512;
  bool translate = false;
  bool turbo_read = false;
  int lock_timeout_seconds = 1;
  // The caller's word that no other machine uses the tables on a mount whose locks stay on
  // this machine: writes and exclusive opens are then allowed there.
  bool local_locks_accepted = false;
  bool optimistic = false;
  int error_level = XB_ERRORS_SILENT;
  std::string udf_path;
  char delimiter = ',';
  std::string password;

  // How long a lock held elsewhere is waited for (the setting is at most 32,767 seconds).
  int LockTimeoutMillis() const { return lock_timeout_seconds * 1000; }

  ExprSettings ForExpressions() const {
    ExprSettings s;
    s.exact = exact;
    s.epoch = epoch;
    s.century = century;
    s.date_format = date_format;
    return s;
  }
};

extern Settings g_settings;
inline Settings& GlobalSettings() { return g_settings; }

}  // namespace xb

#endif  // VELLORIA_ENGINE_SETTINGS_H_
