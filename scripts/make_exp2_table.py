#!/usr/bin/env python3
"""Writes src/speciation/exp2_table.h: 2^(j/128), j = 0..127, and the constants ln 10 and
ln 2 / 128, each as an unevaluated sum hi + lo of two doubles (hi the double nearest, lo the
double nearest the rest), from 80-digit decimal arithmetic.

    /usr/bin/python3 scripts/make_exp2_table.py > src/speciation/exp2_table.h
"""
from decimal import Decimal, getcontext

getcontext().prec = 80
N = 128


def split(v):
    hi = float(v)
    return hi, float(v - Decimal(hi))


def row(values):
    return ",\n".join("    " + ", ".join(values[i:i + 3]) for i in range(0, len(values), 3))


ln2, ln10 = Decimal(2).ln(), Decimal(10).ln()
two = [split((ln2 * j / N).exp()) for j in range(N)]
print(f"""#pragma once
// Written by scripts/make_exp2_table.py; do not edit.

namespace geofluid::speciation::exp2_table {{

inline constexpr int kN = {N};
inline constexpr double kLn10Hi = {split(ln10)[0].hex()}, kLn10Lo = {split(ln10)[1].hex()};
inline constexpr double kLn2OverNHi = {split(ln2 / N)[0].hex()};
inline constexpr double kLn2OverNLo = {split(ln2 / N)[1].hex()};
inline constexpr double kNOverLn2 = {float(N / ln2).hex()};
// 2^(j/kN) = kTwoHi[j] + kTwoLo[j]
alignas(64) inline constexpr double kTwoHi[kN] = {{
{row([h.hex() for h, _ in two])}}};
alignas(64) inline constexpr double kTwoLo[kN] = {{
{row([l.hex() for _, l in two])}}};

}}  // namespace geofluid::speciation::exp2_table""")
