#pragma once
// The COM task allocator: memory handed across module boundaries is freed with CoTaskMemFree.
#include <cstddef>

void* CoTaskMemAlloc(std::size_t size);
void* CoTaskMemRealloc(void* block, std::size_t size);
void CoTaskMemFree(void* block);
