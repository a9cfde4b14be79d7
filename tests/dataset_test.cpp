// The dataset object: what differs between the datasets is found through it, and every name it
// gives (default minerals, neutral species) is one the dataset holds.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/errors.h"
#include "report/report.h"
#include "speciation/solver.h"
#include "thermo/catalogue.h"

namespace geofluid::engine {
namespace {

std::vector<std::string_view> Keys(const std::vector<const Dataset*>& datasets) {
  std::vector<std::string_view> keys;
  for (const Dataset* d : datasets) keys.push_back(d->key);
  return keys;
}

TEST(DatasetChoice, BothIsSolveqThenSupcrtAndAnythingElseIsNothing) {
  EXPECT_EQ(Keys(DatasetsFor("both")), (std::vector<std::string_view>{"solveq", "supcrt"}));
  EXPECT_EQ(Keys(DatasetsFor("solveq")), (std::vector<std::string_view>{"solveq"}));
  EXPECT_EQ(Keys(DatasetsFor("supcrt")), (std::vector<std::string_view>{"supcrt"}));
  for (const char* wrong : {"", "Both", "SOLVEQ", "solveq ", "supcrt98", "none"}) {
    EXPECT_TRUE(DatasetsFor(wrong).empty()) << wrong;
  }
  // The objects are the ones Of and FromKey give, so that handles compare.
  EXPECT_EQ(DatasetsFor("both")[1], &Dataset::Of(thermo::DatasetId::kSupcrt));
  EXPECT_EQ(DatasetsFor("solveq")[0], Dataset::FromKey("solveq"));
}

class DatasetObject : public ::testing::TestWithParam<thermo::DatasetId> {};

TEST_P(DatasetObject, IsTheCataloguesAndKnowsTheOther) {
  const Dataset& d = Dataset::Of(GetParam());
  EXPECT_EQ(d.id, GetParam());
  EXPECT_EQ(&d.catalogue, &thermo::CatalogueOf(GetParam()));
  EXPECT_EQ(d.catalogue.dataset, GetParam());
  EXPECT_EQ(d.key, d.catalogue.key);
  EXPECT_EQ(d.title, d.catalogue.title);
  EXPECT_EQ(d.iap, d.catalogue.iap);
  EXPECT_EQ(d.model.complexes, d.catalogue.complexes);
  EXPECT_NE(d.Other().id, d.id);
  EXPECT_EQ(&d.Other().Other(), &d);
  EXPECT_NE(report::LayoutOf(d).title.find(d.title), std::string_view::npos);
}

// A misspelt default mineral would drop out of every estimate that asks for none.
TEST_P(DatasetObject, DefaultMineralsAndNeutralSpeciesAreHeld) {
  const Dataset& d = Dataset::Of(GetParam());
  ASSERT_EQ(d.default_minerals.size(), 11u);
  for (std::string_view name : d.default_minerals) {
    EXPECT_TRUE(d.MineralIndex(name)) << d.title << " " << name;
  }
  EXPECT_TRUE(d.FindSpecies(d.aqueous_co2)) << d.aqueous_co2;
  EXPECT_TRUE(d.FindSpecies(d.aqueous_silica)) << d.aqueous_silica;
}

// "Not held" is no index at all: a 0 for it once went on as m - 1, the SI before the first
// mineral. The exact lookup keeps to the dataset's own spelling; the others are MineralIndexOf's.
TEST_P(DatasetObject, AMineralNotHeldHasNoIndex) {
  const Dataset& d = Dataset::Of(GetParam());
  for (int m = 1; m <= d.MineralCount(); ++m) {
    EXPECT_EQ(d.MineralIndex(d.MineralName(m)), m) << d.MineralName(m);
    EXPECT_EQ(d.HeldMineralIndex(d.MineralName(m)), m) << d.MineralName(m);
  }
  for (std::string_view name : {"UNOBTAINIUM", "", "quartz", " QUARTZ"}) {
    EXPECT_EQ(d.MineralIndex(name), std::nullopt) << "\"" << name << "\"";
    EXPECT_THROW((void)d.HeldMineralIndex(name), NameError) << "\"" << name << "\"";
  }
  EXPECT_EQ(d.MineralIndexOf("quartz"), d.HeldMineralIndex("QUARTZ"));
  for (std::string_view name : {"UNOBTAINIUM", "", "QUARZ"})
    EXPECT_EQ(d.MineralIndexOf(name), std::nullopt) << "\"" << name << "\"";
  try {
    (void)d.HeldMineralIndex("quartz");
  } catch (const NameError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(std::string(d.title) + " has no mineral \"quartz\""), std::string::npos)
        << message;
    EXPECT_NE(message.find("did you mean \"QUARTZ\""), std::string::npos) << message;
  }
}

// The SOLVEQ target used to be written 2 y (CO2 + H2S): the one formula of both datasets gives
// it bit for bit, and SUPCRT98 counts one hydrogen per H2S.
TEST_P(DatasetObject, TothTargetCountsTheSulfideBasisHydrogens) {
  const Dataset& d = Dataset::Of(GetParam());
  const double h2s_hydrogens = GetParam() == thermo::DatasetId::kSolveq ? 2.0 : 1.0;
  for (double y : {0.0, 0.013, 0.1234567, 0.5}) {
    for (double co2 : {0.0, 1e-3, 0.0371}) {
      for (double h2s : {0.0, 2.5e-4, 0.0123}) {
        const double stored = -3.217e-3;
        const double target = d.TothTarget(stored, y, co2, h2s);
        if (h2s_hydrogens == 2.0) {
          EXPECT_EQ(target, (1.0 - y) * stored + 2.0 * y * (co2 + h2s));
        } else {
          EXPECT_EQ(target, (1.0 - y) * stored + y * (2.0 * co2 + h2s));
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothDatasets, DatasetObject,
                         ::testing::Values(thermo::DatasetId::kSolveq, thermo::DatasetId::kSupcrt));

}  // namespace
}  // namespace geofluid::engine
