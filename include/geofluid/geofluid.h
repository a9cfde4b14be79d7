#pragma once

// The entry header of the geofluid library: chemistry of geothermal fluids. Link
// geofluid::geofluid (find_package(geofluid)) and include this, or one topic header:
//
//   geofluid/sample.h          a sample in typed values
//   geofluid/dataset.h         the datasets, species and minerals by name
//   geofluid/evaluation.h      speciation and saturation of one sample
//   geofluid/batch.h           tables of samples on several threads
//   geofluid/geothermometry.h  reservoir temperatures
//   geofluid/uncertainty.h     Monte Carlo intervals
//   geofluid/units.h           laboratory units to molalities
//   geofluid/error.h           geofluid::Error and the errors derived from it
//   geofluid/version.h         GEOFLUID_VERSION
//
// Only these headers are the supported way in; the headers they include from
// include/geofluid/detail may change between versions.

#include "geofluid/batch.h"
#include "geofluid/dataset.h"
#include "geofluid/error.h"
#include "geofluid/evaluation.h"
#include "geofluid/geothermometry.h"
#include "geofluid/sample.h"
#include "geofluid/uncertainty.h"
#include "geofluid/units.h"
#include "geofluid/version.h"
