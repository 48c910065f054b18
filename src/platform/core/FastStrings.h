#pragma once
// Byte-string search: Boyer-Moore-Horspool over raw bytes, exact or with ASCII
// letters folded to upper case. Positions are 1-based; 0 means not found. The
// search is byte-exact: on double-byte text a match may begin in the second
// byte of a character (callers that search text decode it first).

#include "Types.h"

#include <array>

// A failed precondition of the search (a start position below 1).
QB_DECLARE_EXCEPTION(EAssertionFailed, Exception)

// One shift per byte value.
using TSkipTable = std::array<int, 256>;

// The first occurrence of Pattern in Source at or after StartPos. StartPos below 1
// raises EAssertionFailed; PatternLen below 1 or above SourceLen gives 0.
int FindPatternFrom(const char *Source, const char *Pattern, int SourceLen, int StartPos, int PatternLen);
// The same with ASCII letters compared without regard to case.
int FindPatternFromFolded(const char *Source, const char *Pattern, int SourceLen, int StartPos, int PatternLen);

// Every entry Len, then entry of Pattern[i] = Len - 1 - i for i = 0 .. Len - 2.
// Len 0 raises Exception "BufferLen is 0".
void MakeSkipTable(const char *Pattern, int Len, TSkipTable &Table);
void MakeSkipTableFolded(const char *Pattern, int Len, TSkipTable &Table);
// The first occurrence of Pattern in Buffer from StartPos (1-based) with a table made
// for it; 0 when none. PatternLen 0 raises Exception "BufferLen is 0".
int SkipTableSearch(const char *Buffer, int BufferLen, int StartPos, const char *Pattern, int PatternLen,
                    const TSkipTable &Table);
int SkipTableSearchFolded(const char *Buffer, int BufferLen, int StartPos, const char *Pattern, int PatternLen,
                          const TSkipTable &Table);

// The fold table: the identity with 'a'..'z' upper-cased (the system's upper-casing
// of single bytes in code page 936, which leaves every byte above 0x7F alone).
const std::array<unsigned char, 256> &FoldTable();
