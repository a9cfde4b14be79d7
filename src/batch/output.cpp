#include <nlohmann/json.hpp>
#include <ostream>
#include <unordered_map>

#include "batch/batch.h"
#include "io/csv.h"
#include "io/text.h"

namespace geofluid::batch {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::array<std::string_view, 13> kTableColumns = {
    "id",     "dataset",        "temperature", "status",         "message",
    "pH",     "ionic_strength", "toth",        "steam_fraction", "charge_balance_percent",
    "passes", "trials",         "converged"};

constexpr std::array<std::string_view, 9> kSpeciesColumns = {"id",      "dataset",  "temperature",
                                                             "species", "charge",   "molality",
                                                             "gamma",   "activity", "log_activity"};

using io::AppendCsvCell;
using io::AppendShortest;

void Separator(std::string& line) { line += ','; }

void AppendNumberCell(std::string& line, double value) {
  Separator(line);
  AppendShortest(line, value);
}

std::string Dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

Json Number(const std::optional<double>& v) { return v ? Json(*v) : Json(nullptr); }

// Array or lines of JSON objects around the objects the derived writer makes.
class JsonFraming {
 public:
  JsonFraming(std::ostream& out, Format format) : out_(out), array_(format == Format::kJson) {}
  void Begin() {
    if (array_) out_ << '[';
  }
  void Put(const Json& object) {
    if (array_) out_ << (first_ ? "\n" : ",\n");
    out_ << Dump(object);
    if (!array_) out_ << '\n';
    first_ = false;
  }
  void End() {
    if (array_) out_ << "\n]\n";
    out_.flush();
  }

 private:
  std::ostream& out_;
  bool array_;
  bool first_ = true;
};

class TableWriter : public RowSink {
 public:
  TableWriter(std::ostream& out, Format format) : out_(out), format_(format), json_(out, format) {}

  void FixedComponents(std::span<const std::string> keys) override {
    fixed_.assign(keys.begin(), keys.end());
  }

  void Begin(std::span<const engine::Dataset* const> datasets) override {
    minerals_ = MineralColumns(datasets);
    for (std::size_t c = 0; c < minerals_.size(); ++c) column_of_[minerals_[c]] = c;
    if (format_ != Format::kCsv) {
      json_.Begin();
      return;
    }
    std::string line;
    for (const auto name : kTableColumns) {
      if (!line.empty()) Separator(line);
      AppendCsvCell(line, name);
    }
    for (const std::string& key : fixed_) {
      Separator(line);
      AppendCsvCell(line, "fixed_" + key);
    }
    for (const auto name : minerals_) {
      Separator(line);
      AppendCsvCell(line, "SI_" + std::string(name));
    }
    out_ << line << '\n';
  }

  void Write(const Result& r) override {
    if (format_ == Format::kCsv)
      WriteCsv(r);
    else
      json_.Put(ToJson(r));
  }

  void Flush() override { out_.flush(); }

  void End(bool) override {
    if (format_ != Format::kCsv)
      json_.End();
    else
      out_.flush();
  }

 private:
  // SI by column, NaN where the dataset has no such mineral.
  std::vector<std::optional<double>> SiByColumn(const engine::Evaluation& e) const {
    std::vector<std::optional<double>> si(minerals_.size());
    for (const engine::MineralResult& m : e.Minerals())
      if (const auto it = column_of_.find(m.name); it != column_of_.end()) si[it->second] = m.si;
    return si;
  }

  void WriteCsv(const Result& r) {
    line_.clear();
    AppendCsvCell(line_, io::EscapeLabel(r.id));
    Separator(line_);
    line_ += r.dataset->key;
    Separator(line_);
    if (r.temperature) AppendShortest(line_, *r.temperature);
    Separator(line_);
    line_ += Text(r.status);
    Separator(line_);
    AppendCsvCell(line_, r.message);
    if (r.evaluation) {
      const engine::Evaluation& e = *r.evaluation;
      AppendNumberCell(line_, e.ph);
      AppendNumberCell(line_, e.IonicStrength());
      AppendNumberCell(line_, e.toth);
      AppendNumberCell(line_, e.steam_fraction);
      AppendNumberCell(line_, e.ChargeBalancePercent());
      Separator(line_);
      line_ += std::to_string(e.Passes());
      Separator(line_);
      line_ += std::to_string(e.trials);
      Separator(line_);
      line_ += e.Converged() ? "true" : "false";
      for (const std::string& key : fixed_) {
        Separator(line_);
        if (const auto it = r.fixed.find(key); it != r.fixed.end())
          AppendShortest(line_, it->second);
      }
      for (const auto& si : SiByColumn(e)) {
        Separator(line_);
        if (si) AppendShortest(line_, *si);
      }
    } else {
      line_.append(8 + fixed_.size() + minerals_.size(), ',');
    }
    line_ += '\n';
    out_ << line_;
  }

  Json ToJson(const Result& r) const {
    Json j;
    j["id"] = io::EscapeLabel(r.id);
    j["dataset"] = r.dataset->key;
    j["temperature"] = Number(r.temperature);
    j["status"] = Text(r.status);
    j["message"] = r.message;
    if (!r.evaluation) {
      for (std::size_t k = 5; k < kTableColumns.size(); ++k) j[kTableColumns[k]] = nullptr;
      if (!fixed_.empty()) {
        Json& fixed = j["fixed"];
        for (const std::string& key : fixed_) fixed[key] = nullptr;
      }
      return j;
    }
    const engine::Evaluation& e = *r.evaluation;
    j["pH"] = e.ph;
    j["ionic_strength"] = e.IonicStrength();
    j["toth"] = e.toth;
    j["steam_fraction"] = e.steam_fraction;
    j["charge_balance_percent"] = e.ChargeBalancePercent();
    j["passes"] = e.Passes();
    j["trials"] = e.trials;
    j["converged"] = e.Converged();
    if (!fixed_.empty()) {
      // mol/kg of water; null where the row did not fix the component.
      Json& fixed = j["fixed"];
      for (const std::string& key : fixed_) {
        const auto it = r.fixed.find(key);
        fixed[key] = it != r.fixed.end() ? Json(it->second) : Json(nullptr);
      }
    }
    const auto si = SiByColumn(e);
    for (std::size_t c = 0; c < minerals_.size(); ++c)
      if (si[c]) j["SI_" + std::string(minerals_[c])] = *si[c];
    return j;
  }

  std::ostream& out_;
  Format format_;
  JsonFraming json_;
  std::vector<std::string_view> minerals_;
  std::unordered_map<std::string_view, std::size_t> column_of_;
  std::vector<std::string> fixed_;
  std::string line_;
};

class SpeciesWriter : public RowSink {
 public:
  SpeciesWriter(std::ostream& out, Format format)
      : out_(out), format_(format), json_(out, format) {}

  void Begin(std::span<const engine::Dataset* const>) override {
    if (format_ != Format::kCsv) {
      json_.Begin();
      return;
    }
    std::string line;
    for (const auto name : kSpeciesColumns) {
      if (!line.empty()) Separator(line);
      line += name;
    }
    out_ << line << '\n';
  }

  void Write(const Result& r) override {
    if (!r.evaluation) return;
    for (const engine::SpeciesResult& s : r.evaluation->Species()) {
      if (format_ == Format::kCsv)
        WriteCsv(r, s);
      else
        json_.Put(ToJson(r, s));
    }
  }

  void Flush() override { out_.flush(); }

  void End(bool) override {
    if (format_ != Format::kCsv)
      json_.End();
    else
      out_.flush();
  }

 private:
  void WriteCsv(const Result& r, const engine::SpeciesResult& s) {
    line_.clear();
    AppendCsvCell(line_, io::EscapeLabel(r.id));
    Separator(line_);
    line_ += r.dataset->key;
    Separator(line_);
    AppendShortest(line_, *r.temperature);
    Separator(line_);
    AppendCsvCell(line_, s.name);
    Separator(line_);
    line_ += std::to_string(s.charge);
    if (s.switched_off) {
      line_ += ",,,,";
    } else {
      AppendNumberCell(line_, s.molality);
      AppendNumberCell(line_, s.gamma);
      AppendNumberCell(line_, s.activity);
      AppendNumberCell(line_, s.log_activity);
    }
    line_ += '\n';
    out_ << line_;
  }

  static Json ToJson(const Result& r, const engine::SpeciesResult& s) {
    Json j;
    j["id"] = io::EscapeLabel(r.id);
    j["dataset"] = r.dataset->key;
    j["temperature"] = *r.temperature;
    j["species"] = s.name;
    j["charge"] = s.charge;
    const auto value = [&](double v) { return s.switched_off ? Json(nullptr) : Json(v); };
    j["molality"] = value(s.molality);
    j["gamma"] = value(s.gamma);
    j["activity"] = value(s.activity);
    j["log_activity"] = value(s.log_activity);
    return j;
  }

  std::ostream& out_;
  Format format_;
  JsonFraming json_;
  std::string line_;
};

}  // namespace

std::optional<Format> FormatFromText(std::string_view text) {
  if (text == "csv") return Format::kCsv;
  if (text == "json") return Format::kJson;
  if (text == "jsonl") return Format::kJsonl;
  return std::nullopt;
}

std::vector<std::string_view> MineralColumns(std::span<const engine::Dataset* const> datasets) {
  std::vector<std::string_view> names;
  for (const engine::Dataset* d : datasets)
    for (int m = 1; m <= d->MineralCount(); ++m) {
      const std::string_view name = d->MineralName(m);
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  return names;
}

std::unique_ptr<RowSink> MakeTableWriter(std::ostream& out, Format format) {
  return std::make_unique<TableWriter>(out, format);
}

std::unique_ptr<RowSink> MakeSpeciesWriter(std::ostream& out, Format format) {
  return std::make_unique<SpeciesWriter>(out, format);
}

void SinkList::Begin(std::span<const engine::Dataset* const> datasets) {
  for (RowSink* s : sinks_) s->Begin(datasets);
}
void SinkList::FixedComponents(std::span<const std::string> keys) {
  for (RowSink* s : sinks_) s->FixedComponents(keys);
}
void SinkList::Write(const Result& result) {
  for (RowSink* s : sinks_) s->Write(result);
}
void SinkList::Flush() {
  for (RowSink* s : sinks_) s->Flush();
}
void SinkList::End(bool complete) {
  for (RowSink* s : sinks_) s->End(complete);
}

}  // namespace geofluid::batch
