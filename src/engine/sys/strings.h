// The system library's string, memory fill/copy and sorting routines.
#pragma once

#include <cstdint>

int x_strlen(const char* s);
char* x_strcpy(char* dst, const char* src);
// Copies at most n bytes, stopping after the NUL and filling the rest of the n bytes with NULs; adds no
// NUL when src has n bytes or more.
char* x_strncpy(char* dst, const char* src, int n);
char* x_strcat(char* dst, const char* src);
// Difference of the first unequal bytes, compared as unsigned bytes; 0 when equal.
int x_strcmp(const char* a, const char* b);
int x_strncmp(const char* a, const char* b, int n);
// a..z to A..Z in place; null gives null.
char* x_strtoupper(char* s);

// Engine fills and copies; each returns dst + n. The 16- and 8-byte variants are the fast paths for
// aligned blocks (they also work, more slowly, for any alignment).
void* veMemSet(void* dst, int value, uint32_t n);
void* veMemSet16(void* dst, int value, uint32_t n);
void* veMemSet8(void* dst, int value, uint32_t n);
void* veMemCpy(void* dst, const void* src, uint32_t n);

// Library copies: x_memcpy returns dst + n, x_memset returns dst. n <= 0 does nothing.
void* x_memcpy(void* dst, const void* src, int n);
void* x_memset(void* dst, int value, int n);

// Quicksort (median of three from 6 elements on, partitions under 4 elements left alone) followed by
// one insertion pass. Not stable.
void x_qsort(void* base, int count, int size, int (*compare)(const void*, const void*));
