#include "ui/setup_form.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "core/settings_table.h"
#include "util/text.h"

namespace quillon::ui {

SetupForm::SetupForm(core::IniCache& ini, std::function<void()> reRead, QWidget* parent)
    : QWidget(parent), ini_(ini), reRead_(std::move(reRead)) {
  setWindowTitle("Quillon settings");
  auto* form = new QFormLayout;
  for (const core::SettingDef& d : core::settingsTable()) {
    if (!(d.surfaces & core::kSettingsWindow)) continue;
    auto* edit = new QLineEdit;
    edit->setToolTip(QString::fromUtf8(d.help) + QString::fromLatin1("\nDefault: %1. Takes effect %2.")
                                                     .arg(*d.def ? QString::fromLatin1(d.def) : QString("empty"),
                                                          QString::fromLatin1(core::takesEffectText(d.takes))));
    form->addRow(QString::fromLatin1(d.key), edit);
    fields_.push_back({&d, edit});
  }
  auto* inner = new QWidget;
  inner->setLayout(form);
  auto* scroll = new QScrollArea;
  scroll->setWidget(inner);
  scroll->setWidgetResizable(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Section W800 of Quillon.ini; saved when the window closes."));
  layout->addWidget(scroll, 1);
  resize(420, 560);
}

void SetupForm::load() {
  shown_.clear();
  for (const auto& [def, edit] : fields_) {
    const std::string v = ini_.getIniSetting(def->section, def->key, def->def, def->file);
    edit->setText(QString::fromLatin1(v.data(), static_cast<qsizetype>(v.size())));
    shown_.push_back(edit->text());
  }
}

void SetupForm::save(bool reRead) {
  // Only changed keys are written: a key left absent keeps following the node's default.
  for (size_t i = 0; i < fields_.size(); ++i) {
    const auto& [def, edit] = fields_[i];
    if (i < shown_.size() && edit->text() == shown_[i]) continue;
    const QByteArray v = edit->text().toLatin1();
    ini_.saveIniSetting(def->section, def->key, std::string(v.constData(), static_cast<size_t>(v.size())), def->file);
  }
  ini_.flushIniCache();
  if (reRead && reRead_) reRead_();
}

QLineEdit* SetupForm::field(const std::string& key) const {
  for (const auto& [def, edit] : fields_)
    if (util::iequals(def->key, key)) return edit;
  return nullptr;
}

void SetupForm::showEvent(QShowEvent* e) {
  load();  // each opening shows the file as it is now
  QWidget::showEvent(e);
}

void SetupForm::closeEvent(QCloseEvent* e) {
  save();
  QWidget::closeEvent(e);
}

}  // namespace quillon::ui
