// How far a mistyped name is from a known one, for "did you mean" messages.
#pragma once
#include <cstddef>
#include <string>

// Edits (insert, delete or replace one byte) that turn a into b.
size_t EditDistance(const std::string& a, const std::string& b);
