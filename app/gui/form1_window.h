#pragma once

#include <QWidget>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>

#include "form/form1.h"
#include "window_platform.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace geofluid::sample {
struct SampleFile;
}

namespace geofluid::gui {

// The desktop window Form1. It forwards every user action to the window model and then shows
// the model's state; it decides nothing itself.
class Form1Window : public QWidget {
  Q_OBJECT

 public:
  explicit Form1Window(std::filesystem::path data_directory, QWidget* parent = nullptr);

  // The texts of a sample file, as if typed into the boxes.
  void FillFrom(const sample::SampleFile& sample);

  const form::Form1& Model() const { return model_; }
  // How long a run waits for another run on the data directory ($GEOFLUID_WAIT).
  void SetWaitLimit(std::chrono::milliseconds limit) { platform_.SetWaitLimit(limit); }

 private:
  void Build();
  void Connect();
  void Sync();
  void Run(void (form::Form1::*command)());
  QColor Colour(std::uint32_t colour) const;

  WindowPlatform platform_;  // before the model, which keeps a reference to it
  form::Form1 model_;

  std::array<QGroupBox*, 7> frames_{};                   // [1..6]
  std::array<QLineEdit*, form::kBoxCount + 1> boxes_{};  // [1..18]
  QRadioButton* option1_ = nullptr;
  QRadioButton* option2_ = nullptr;
  QCheckBox* check1_ = nullptr;
  QPushButton* command1_ = nullptr;
  QPushButton* command2_ = nullptr;
};

}  // namespace geofluid::gui
