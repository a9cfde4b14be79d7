#pragma once

// Many samples at once, in geofluid::batch: a CSV table of analyses in (CsvInput), one
// Result per (sample, dataset, temperature) out, evaluated on several threads and written in
// input order (RunBatch, MakeTableWriter). EvaluateSamples takes typed samples instead of a
// table. Throws batch::UsageError (a geofluid::Error) before anything is evaluated when the
// header or the options cannot be used; a faulty row is a Result with its message.

#include "batch/batch.h"
#include "geofluid/evaluation.h"
