#include "engine/sys/strings.h"

#include <cstddef>
#include <cstring>

int x_strlen(const char* s) {
    int n = 0;
    while (s[n]) ++n;
    return n;
}

char* x_strcpy(char* dst, const char* src) {
    char* d = dst;
    while ((*d++ = *src++) != 0) {
    }
    return dst;
}

char* x_strncpy(char* dst, const char* src, int n) {
    int i = 0;
    for (; i < n && src[i]; ++i) dst[i] = src[i];
    for (; i < n; ++i) dst[i] = 0;
    return dst;
}

char* x_strcat(char* dst, const char* src) {
    x_strcpy(dst + x_strlen(dst), src);
    return dst;
}

int x_strcmp(const char* a, const char* b) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
    while (*p && *p == *q) {
        ++p;
        ++q;
    }
    return static_cast<int>(*p) - static_cast<int>(*q);
}

int x_strncmp(const char* a, const char* b, int n) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
    for (int i = 0; i < n; ++i) {
        if (p[i] != q[i] || !p[i]) return static_cast<int>(p[i]) - static_cast<int>(q[i]);
    }
    return 0;
}

char* x_strtoupper(char* s) {
    if (!s) return nullptr;
    for (char* p = s; *p; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    }
    return s;
}

// On the host the C library's fill and copy are the fast paths; the results are those of the block
// stores (every byte of the range written, nothing outside it).
void* veMemSet(void* dst, int value, uint32_t n) {
    std::memset(dst, value, n);
    return static_cast<uint8_t*>(dst) + n;
}

void* veMemSet16(void* dst, int value, uint32_t n) {
    return veMemSet(dst, value, n);
}
void* veMemSet8(void* dst, int value, uint32_t n) {
    return veMemSet(dst, value, n);
}

void* veMemCpy(void* dst, const void* src, uint32_t n) {
    // memmove: an overlapping copy gets a defined result instead of undefined behaviour.
    std::memmove(dst, src, n);
    return static_cast<uint8_t*>(dst) + n;
}

void* x_memcpy(void* dst, const void* src, int n) {
    if (n <= 0) return dst;
    return veMemCpy(dst, src, static_cast<uint32_t>(n));
}

void* x_memset(void* dst, int value, int n) {
    if (n > 0) std::memset(dst, value, static_cast<size_t>(n));
    return dst;
}

// ---- sorting ---------------------------------------------------------------------------------------

namespace {

constexpr int kThresh = 4;   // partitions shorter than this are left to the insertion pass
constexpr int kMThresh = 6;  // from this size on the pivot is the median of three

// What one sort call needs; passed along instead of kept in statics so that sorts may nest.
struct QSort {
    int (*cmp)(const void*, const void*);
    ptrdiff_t qsz;      // element size
    ptrdiff_t thresh;   // kThresh elements in bytes
    ptrdiff_t mthresh;  // kMThresh elements in bytes
    char* base;         // the array; positions below are byte offsets from it

    int Compare(ptrdiff_t a, ptrdiff_t b) const { return cmp(base + a, base + b); }
    void Swap(ptrdiff_t a, ptrdiff_t b) const {
        char* p = base + a;
        char* q = base + b;
        for (ptrdiff_t k = 0; k < qsz; ++k) {
            const char c = p[k];
            p[k] = q[k];
            q[k] = c;
        }
    }

    // Sorts [lo, hi) until every partition left is shorter than thresh.
    void Quick(ptrdiff_t lo, ptrdiff_t hi) const {
        ptrdiff_t len = hi - lo;
        do {
            ptrdiff_t mid = lo + qsz * ((len / qsz) >> 1);
            if (len >= mthresh) {
                // Median of first, middle and last into the middle; ties prefer the middle, then the
                // first.
                const ptrdiff_t first = lo;
                ptrdiff_t j = Compare(first, mid) > 0 ? first : mid;
                const ptrdiff_t last = hi - qsz;
                if (Compare(j, last) > 0) {
                    j = (j == first) ? mid : first;
                    if (Compare(j, last) < 0) j = last;
                }
                if (j != mid) Swap(mid, j);
            }
            ptrdiff_t i = lo;
            ptrdiff_t j = hi - qsz;
            for (;;) {
                while (i < mid && Compare(i, mid) <= 0) i += qsz;
                ptrdiff_t other = 0;  // the element to swap with i
                ptrdiff_t next = 0;   // i after the swap
                bool swapped = false;
                while (j > mid) {
                    if (Compare(mid, j) <= 0) {
                        j -= qsz;
                        continue;
                    }
                    next = i + qsz;
                    if (i == mid) {
                        // j and mid change places; j becomes the pivot.
                        mid = other = j;
                    } else {
                        other = j;
                        j -= qsz;
                    }
                    swapped = true;
                    break;
                }
                if (!swapped) {
                    if (i == mid) break;
                    // i and mid change places; i becomes the pivot.
                    other = mid;
                    next = mid = i;
                    j -= qsz;
                }
                Swap(i, other);
                i = next;
            }
            // Recurse into the smaller side, loop on the larger.
            const ptrdiff_t right = mid + qsz;
            const ptrdiff_t leftLen = mid - lo;
            const ptrdiff_t rightLen = hi - right;
            if (leftLen <= rightLen) {
                if (leftLen >= thresh) Quick(lo, mid);
                lo = right;
                len = rightLen;
            } else {
                if (rightLen >= thresh) Quick(right, hi);
                hi = mid;
                len = leftLen;
            }
        } while (len >= thresh);
    }
};

}  // namespace

void x_qsort(void* base, int count, int size, int (*compare)(const void*, const void*)) {
    if (count < 2 || size <= 0 || !base || !compare) return;
    QSort q{compare, size, static_cast<ptrdiff_t>(kThresh) * size, static_cast<ptrdiff_t>(kMThresh) * size,
            static_cast<char*>(base)};
    const ptrdiff_t max = static_cast<ptrdiff_t>(count) * size;
    ptrdiff_t hi;
    if (count >= kThresh) {
        q.Quick(0, max);
        hi = q.thresh;
    } else {
        hi = max;
    }
    // The smallest of the first few elements (the first found on ties) goes to the front as the
    // insertion pass's sentinel.
    ptrdiff_t smallest = 0;
    for (ptrdiff_t lo = q.qsz; lo < hi; lo += q.qsz) {
        if (q.Compare(smallest, lo) > 0) smallest = lo;
    }
    if (smallest != 0) q.Swap(0, smallest);

    // Insertion pass: find where each element goes and rotate it there byte by byte.
    for (ptrdiff_t min = q.qsz; min < max; min += q.qsz) {
        ptrdiff_t at = min - q.qsz;
        // The sentinel stops this walk for any consistent compare; the bound keeps an inconsistent one
        // inside the array.
        while (at >= 0 && q.Compare(at, min) > 0) at -= q.qsz;
        at += q.qsz;
        if (at == min) continue;
        char* b = q.base;
        for (ptrdiff_t lo = min + q.qsz - 1; lo >= min; --lo) {
            const char c = b[lo];
            ptrdiff_t i = lo;
            for (ptrdiff_t j = lo - q.qsz; j >= at; j -= q.qsz) {
                b[i] = b[j];
                i = j;
            }
            b[i] = c;
        }
    }
}
