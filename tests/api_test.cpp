// The public headers as a program outside the project uses them: names over positions, and one
// error root that a caller can catch for every failure of the library.
#include <gtest/gtest.h>

#include <string>

#include "cli_process.h"
#include "geofluid/geofluid.h"
#include "sample_file.h"
#include "typed_sample.h"

namespace {

class LookupTest : public ::testing::TestWithParam<const char*> {};

// Every species and mineral of the dataset, found by its name and by its handle, is the entry
// of the positional lists; every name is held once, so a name is a key.
TEST_P(LookupTest, NamesAndHandlesGiveThePositionalResults) {
  const geofluid::Dataset& d = *geofluid::Dataset::FromKey(GetParam());
  const geofluid::Evaluation e =
      geofluid::EvaluateMeasured(geofluid::testing::TypedNaClWater(), geofluid::Prepare(d, 25.0));
  const auto species = e.Species();
  for (int i = 1; i <= d.SpeciesCount(); ++i) {
    const geofluid::SpeciesResult& at = species[static_cast<std::size_t>(i - 1)];
    const geofluid::SpeciesHandle handle = d.Species(at.name);
    EXPECT_EQ(handle.index, i) << at.name << " is held twice";
    for (const geofluid::SpeciesResult& found : {e.Species(at.name), e.Species(handle)}) {
      EXPECT_EQ(found.name, at.name);
      EXPECT_EQ(found.molality, at.molality) << at.name;
      EXPECT_EQ(found.activity, at.activity) << at.name;
      EXPECT_EQ(found.switched_off, at.switched_off) << at.name;
    }
  }
  const auto minerals = e.Minerals();
  for (int m = 1; m <= d.MineralCount(); ++m) {
    const geofluid::MineralResult& at = minerals[static_cast<std::size_t>(m - 1)];
    const auto handle = d.FindMineral(at.name);
    ASSERT_TRUE(handle.has_value()) << at.name;
    EXPECT_EQ(handle->index, m) << at.name << " is held twice";
    EXPECT_EQ(e.Mineral(*handle).si, e.saturation_index[m]) << at.name;
    EXPECT_EQ(e.Mineral(at.name).log_iap, at.log_iap) << at.name;
  }
  EXPECT_EQ(e.Mineral("QUARTZ").si, e.Si("QUARTZ"));
  // The blanks that align the tables' names are not part of the name.
  EXPECT_EQ(e.Species("Na(+)").molality, species[1].molality);
  EXPECT_EQ(e.Species("Cl(-)").name, species[10].name);
}

INSTANTIATE_TEST_SUITE_P(BothDatasets, LookupTest, ::testing::Values("solveq", "supcrt"));

std::string Message(const auto& call) {
  try {
    call();
  } catch (const geofluid::NameError& e) {
    return e.what();
  }
  return "(no error)";
}

// A name the dataset does not hold, or a handle of the other dataset, is an error that says
// which; a name that differs only in case gets the dataset's spelling.
TEST(Lookup, UnknownNamesAndForeignHandlesAreErrors) {
  const geofluid::Dataset& solveq = *geofluid::Dataset::FromKey("solveq");
  const geofluid::Dataset& supcrt = *geofluid::Dataset::FromKey("supcrt");
  const geofluid::Evaluation e = geofluid::EvaluateMeasured(geofluid::testing::TypedNaClWater(),
                                                            geofluid::Prepare(solveq, 25.0));
  EXPECT_FALSE(solveq.FindMineral("UNOBTAINIUM").has_value());
  EXPECT_FALSE(solveq.FindSpecies("").has_value());
  EXPECT_EQ(Message([&] { e.Mineral("UNOBTAINIUM"); }), "SOLVEQ has no mineral \"UNOBTAINIUM\"");
  // A mineral goes by either dataset's spelling or its common name, in any case.
  EXPECT_EQ(e.Mineral("quartz").name, "QUARTZ");
  EXPECT_EQ(e.Mineral("albite_low").name, "LOW-ALBITE");
  EXPECT_EQ(Message([&] { e.Species("na(+)"); }),
            "SOLVEQ has no species \"na(+)\" (did you mean \"Na        (+)\"?)");
  // The same name is another position in the other dataset: a handle is not carried across.
  EXPECT_EQ(Message([&] { e.Mineral(supcrt.Mineral("QUARTZ")); }),
            "a mineral handle of SUPCRT98 used on a result of SOLVEQ");
  EXPECT_EQ(Message([&] { e.Species(geofluid::SpeciesHandle{}); }),
            "a species handle of no dataset used on a result of SOLVEQ");
  EXPECT_EQ(Message([&] {
              e.Species(geofluid::SpeciesHandle{&solveq, 0});
            }),
            "species handle 0 is not one of SOLVEQ's species 1.." +
                std::to_string(solveq.SpeciesCount()));
}

// What each layer throws for a user's mistake is caught as geofluid::Error, message intact.
TEST(ErrorRoot, EveryLayerThrowsAGeofluidError) {
  const auto caught = [](const auto& call) -> std::string {
    try {
      call();
    } catch (const geofluid::Error& e) {
      return e.what();
    } catch (const std::exception& e) {
      return std::string("not a geofluid::Error: ") + e.what();
    }
    return "(no error)";
  };
  const geofluid::Dataset& d = *geofluid::Dataset::FromKey("supcrt");
  EXPECT_NE(caught([&] {
              geofluid::geothermometry::MineralIndices(d, {"UNOBTAINIUM"});
            }).find("UNOBTAINIUM"),
            std::string::npos);
  auto errors = geofluid::uncertainty::InputErrors::Defaults();
  EXPECT_NE(caught([&] { geofluid::uncertainty::SetError(errors, "Na", "lots"); }).find("Na"),
            std::string::npos);
  EXPECT_NE(caught([] { geofluid::batch::ParseTemperatures("100:50"); }).find("100:50"),
            std::string::npos);
  const geofluid::units::Amount negative{geofluid::units::FindForm("Na"), -1.0};
  EXPECT_NE(caught([&] {
              geofluid::units::ToMolality({&negative, 1},
                                          geofluid::units::Concentration::kMgPerKgSolution);
            }).find("negative"),
            std::string::npos);
  EXPECT_NE(caught([] {
              geofluid::sample::LoadSample("/nonexistent/well.ini");
            }).find("/nonexistent/well.ini"),
            std::string::npos);
}

// --version prints the project's version and succeeds, without a subcommand.
TEST(Version, TheCommandLineSaysWhichVersionItIs) {
  geofluid::testing::TempDir dir;
  const geofluid::testing::CliResult r = geofluid::testing::RunCli({"--version"}, dir.Path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::string("geofluid-cli ") + GEOFLUID_VERSION + "\n");
}

}  // namespace
