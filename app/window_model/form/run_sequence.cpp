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

CalculationInput InputFrom(const Form1& form, thermo::Dataset dataset) {
  CalculationInput input;
  input.dataset = dataset;
  for (int box = 1; box <= kBoxCount; ++box)
    input.box[static_cast<std::size_t>(box)] = form.Text(box).text;
  input.option1 = form.Option1Value();
  input.check1 = form.Check1Value();
  return input;
}
}  // namespace

RunOutcome RunCalculation(Form1& form, thermo::Dataset dataset) {
  platform::Platform& platform = form.Platform();
  // Absolute, so that the closing message tells the user where the report is wherever they are.
  std::error_code ec;
  std::filesystem::path directory = std::filesystem::absolute(form.DataDirectory(), ec);
  if (ec) directory = form.DataDirectory();
  const std::filesystem::path hand_over = directory / platform::kHandOverFileName;
  RunOutcome outcome;
  outcome.report_path = directory / platform::kReportFileName;

  // A run that finds another run's turn on a file waits for it, as the front end says.
  const platform::TurnTaking turn{platform.WaitLimit(),
                                  [&platform](platform::WaitState state, std::string_view text) {
                                    platform.Waiting(state, text);
                                  }};
  // The boxes of a non-convergence wait for a click: they come once the files are closed, so
  // that no other run on the directory waits for this one meanwhile.
  const auto show_non_convergences = [&] {
    for (int i = 0; i < outcome.non_convergences; ++i)
      platform.MessageBox(platform::MessageKind::kNonConvergence, kNonConvergenceText);
  };

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

    CalculationInput input = InputFrom(form, dataset);
    // 8, second mode. The stored TOTH is read before the trials need it; the measured mode
    // opens the hand-over file only once it has a TOTH to append (see below).
    if (!input.option1) {
      const StoredToth stored = ReadStoredToth(hand_over);
      if (stored.empty)
        platform.Warning(std::string(platform::kHandOverFileName) +
                         " is empty, the stored TOTH is taken as 0");
      input.stored_toth = stored.value;
    }

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
    show_non_convergences();
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
    try {
      if (!boxes_shown) show_non_convergences();
      platform.MessageBox(platform::MessageKind::kError, outcome.error);
    } catch (...) {
      // The front end could not show it; the outcome still carries it.
    }
  }
  // 15.
  if (hourglass) form.SetMousePointer(platform::kDefaultPointer);
  return outcome;
}

}  // namespace geofluid::form
