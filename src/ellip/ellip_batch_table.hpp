#pragma once
// The table of the batched elliptic integrals: one per instruction set, each entry taking raw
// arrays of `count` doubles (`out` may be an input). ellip_batch.cpp picks the table of the
// path asked for; ellip_batch_per_isa.cpp, compiled once per instruction set, defines the vector
// ones from the lane code (ellip_lanes.hpp).

#include <cstddef>

namespace vellomir {

struct EllipBatchTable {
    void (*ellipk)(const double* m, double* out, std::size_t count) noexcept;
    void (*ellipe)(const double* m, double* out, std::size_t count) noexcept;
    void (*ellippi)(const double* n, const double* m, double* out, std::size_t count) noexcept;
    void (*ellipk_complement)(const double* mc, double* out, std::size_t count) noexcept;
    void (*ellipe_complement)(const double* mc, double* out, std::size_t count) noexcept;
    void (*ellippi_complement)(const double* nc, const double* mc, double* out, std::size_t count) noexcept;
    void (*elliprf)(const double* x, const double* y, const double* z, double* out, std::size_t count) noexcept;
    void (*elliprj)(const double* x, const double* y, const double* z, const double* p, double* out,
                    std::size_t count) noexcept;
};

namespace isa_avx2 {
extern const EllipBatchTable ellip_batch_table;
}
namespace isa_avx512 {
extern const EllipBatchTable ellip_batch_table;
}

}  // namespace vellomir
