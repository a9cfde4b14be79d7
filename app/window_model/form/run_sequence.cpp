#include "form/run_sequence.h"

#include <exception>
#include <new>
#include <optional>
#include <string>
#include <system_error>

#include "form/calculation.h"
#include "form/handover_file.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "report/report.h"

namespace geofluid::form {

namespace {
constexpr std::string_view kNonConvergenceText = "計算が収束しません";

std::string ClosingText(const std::filesystem::path& report) {
  return "結果を\n" + report.string() + "\nに出力しました。";
}

// Absolute, so that the closing message tells the user where the report is wherever they are.
std::filesystem::path AbsoluteDataDirectory(const Form1& form) {
  std::error_code ec;
  std::filesystem::path directory = std::filesystem::absolute(form.DataDirectory(), ec);
  if (ec) directory = form.DataDirectory();
  return directory;
}

CalculationInput InputFrom(Form1& form, thermo::DatasetId dataset,
                           const std::filesystem::path& hand_over) {
  CalculationInput input;
  input.dataset = dataset;
  for (int box = 1; box <= kBoxCount; ++box)
    input.box[static_cast<std::size_t>(box)] = form.Text(box).text;
  input.option1 = form.Option1Value();
  input.check1 = form.Check1Value();
  // 8, second mode. The stored TOTH is read before the trials need it; the measured mode
  // opens the hand-over file only once it has a TOTH to append (see RunCalculation).
  if (!input.option1) {
    const StoredToth stored = ReadStoredToth(hand_over);
    if (stored.empty)
      form.Platform().Warning(std::string(platform::kHandOverFileName) +
                              " is empty, the stored TOTH is taken as 0");
    input.stored_toth = stored.value;
  }
  return input;
}

// The boxes of a non-convergence wait for a click: they come once the files are closed, so
// that no other run on the directory waits for this one meanwhile.
void ShowNonConvergences(platform::Platform& platform, int count) {
  for (int i = 0; i < count; ++i)
    platform.MessageBox(platform::MessageKind::kNonConvergence, kNonConvergenceText);
}

// The boxes still owed, then the error; a front end that cannot show them does not end the run.
void ShowError(platform::Platform& platform, const RunOutcome& outcome,
               bool non_convergences_shown) {
  try {
    if (!non_convergences_shown) ShowNonConvergences(platform, outcome.non_convergences);
    platform.MessageBox(platform::MessageKind::kError, outcome.error);
  } catch (...) {
    // The front end could not show it; the outcome still carries it.
  }
}
}  // namespace

RunOutcome RunCalculation(Form1& form, thermo::DatasetId dataset) {
  platform::Platform& platform = form.Platform();
  const std::filesystem::path directory = AbsoluteDataDirectory(form);
  const std::filesystem::path hand_over = directory / platform::kHandOverFileName;
  RunOutcome outcome;
  outcome.report_path = directory / platform::kReportFileName;

  // A run that finds another run's turn on a file waits for it, as the front end says.
  const platform::TurnTaking turn{platform.WaitLimit(),
                                  [&platform](platform::WaitState state, std::string_view text) {
                                    platform.Waiting(state, text);
                                  }};
  std::optional<platform::OutputFile> report;
  bool hourglass = false;
  bool boxes_shown = false;
  try {
    // 1. The report is emptied before anything else, even when the run fails later.
    platform::RequireDataDirectory(directory);
    report.emplace(outcome.report_path, "the report file", turn);
    // 2.
    (void)thermo::CatalogueOf(dataset);
    // 3.
    form.SetMousePointer(platform::kHourglass);
    hourglass = true;

    const CalculationInput input = InputFrom(form, dataset, hand_over);

    // 4 to 10, and the TOTH of 11.
    auto result =
        std::make_shared<CalculationResult>(Calculate(input, [&] { ++outcome.non_convergences; }));
    outcome.result = result;

    // 12. The report is complete and closed before the TOTH is handed over, so a run whose
    // report cannot be written leaves the hand-over file as it was.
    report->Write(report::ReportText(*result, result->temperature_text));
    report->Close();
    // 11. Only a run that succeeded appends: a measured run that failed must not leave a
    // hand-over file (an empty one would later read as a stored TOTH of 0).
    if (input.option1) AppendToth(hand_over, result->toth, turn);

    // 13 and 14: the files are already closed, so the message presents a finished report.
    report.reset();
    boxes_shown = true;
    ShowNonConvergences(platform, outcome.non_convergences);
    outcome.completed = true;
    platform.MessageBox(platform::MessageKind::kClosing, ClosingText(outcome.report_path));
  } catch (const Error& e) {
    outcome.error = e.what();
  } catch (const std::bad_alloc&) {
    outcome.error = "the run ran out of memory";
  } catch (const std::exception& e) {
    outcome.error = std::string("the run stopped on an unexpected fault: ") + e.what();
  }

  if (!outcome.error.empty()) {
    outcome.completed = false;
    report.reset();  // closes without reporting: the run has already failed
    ShowError(platform, outcome, boxes_shown);
  }
  // 15.
  if (hourglass) form.SetMousePointer(platform::kDefaultPointer);
  return outcome;
}

}  // namespace geofluid::form
