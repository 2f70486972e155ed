#pragma once
// The settings window: one field per key of section W800 of "Quillon.ini" the settings table
// gives to the window, with the table's default for an absent key and its help as tooltip; read
// through the INI cache when it opens and written back when it closes; the running node then
// re-reads its settings (reopening a receiver link only when its port changed).
#include <QLineEdit>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "core/ini_cache.h"
#include "core/settings_table.h"

namespace quillon::ui {

class SetupForm : public QWidget {
 public:
  // `reRead` applies the saved settings to the running node.
  SetupForm(core::IniCache& ini, std::function<void()> reRead, QWidget* parent = nullptr);

  // Fills every field from the settings file.
  void load();
  // Writes the fields the user changed, flushes the cache and, unless told not to, runs the
  // re-read. A key left as it was shown keeps its place in the file, or its absence.
  void save(bool reRead = true);
  // The field of a key (any letter case); null when the window has none.
  QLineEdit* field(const std::string& key) const;

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  core::IniCache& ini_;
  std::function<void()> reRead_;
  std::vector<std::pair<const core::SettingDef*, QLineEdit*>> fields_;
  std::vector<QString> shown_;  // each field's text when the window opened
};

}  // namespace quillon::ui
