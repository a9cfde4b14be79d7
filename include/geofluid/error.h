#pragma once

// Failures of the library. Every exception the library throws on purpose derives from
// geofluid::Error (a std::runtime_error) and carries a message a user can act on: which input,
// which row, which file, which step.
//
//   geofluid::Error
//     ConversionError         a text that is not a number
//     ArithmeticError         an overflow or invalid operation in a numeric step
//     FileError               a file that cannot be read or written
//     SearchError             the pH search did not end within its bound
//     NameError               a species or mineral the dataset does not hold
//     Interrupted             the caller's cancel flag stopped the run
//     units::UnitError        a concentration the conversion cannot take   (geofluid/units.h)
//     batch::UsageError       a table or batch options that cannot be used (geofluid/batch.h)
//     geothermometry::UnknownMineral                        (geofluid/geothermometry.h)
//     uncertainty::ErrorSyntax  an input error that cannot be read (geofluid/uncertainty.h)
//
// Some checks of a call's arguments (an empty dataset list, a step of zero, too few draws)
// throw std::invalid_argument instead.

#include "platform/errors.h"
