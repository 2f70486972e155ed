#include "ui/setup_form.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "core/settings.h"

namespace quillon::ui {

SetupForm::SetupForm(core::IniCache& ini, std::function<void()> reRead, QWidget* parent)
    : QWidget(parent), ini_(ini), reRead_(std::move(reRead)) {
  setWindowTitle("Quillon settings");
  auto* form = new QFormLayout;
  for (const char* key : core::kSettingsKeyList) {
    auto* edit = new QLineEdit;
    form->addRow(QString::fromLatin1(key), edit);
    fields_.emplace_back(key, edit);
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
  for (size_t i = 0; i < fields_.size(); ++i) {
    const std::string v = ini_.getIniSetting(core::kSettingsSection, fields_[i].first, core::kSettingsWindowDefaults[i],
                                             core::kSettingsFile);
    fields_[i].second->setText(QString::fromLatin1(v.data(), static_cast<qsizetype>(v.size())));
    shown_.push_back(fields_[i].second->text());
  }
}

void SetupForm::save(bool reRead) {
  // Only changed keys are written: the defaults shown for absent keys are not all the node's
  // own (a transmitter port of "1", a calibration of "false"), and writing them would change
  // what the node does.
  for (size_t i = 0; i < fields_.size(); ++i) {
    auto& [key, edit] = fields_[i];
    if (i < shown_.size() && edit->text() == shown_[i]) continue;
    const QByteArray v = edit->text().toLatin1();
    ini_.saveIniSetting(core::kSettingsSection, key, std::string(v.constData(), static_cast<size_t>(v.size())),
                        core::kSettingsFile);
  }
  ini_.flushIniCache();
  if (reRead && reRead_) reRead_();
}

QLineEdit* SetupForm::field(const std::string& key) const {
  for (const auto& [k, edit] : fields_)
    if (k == key) return edit;
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
