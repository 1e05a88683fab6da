#pragma once

#include <cstddef>

namespace engine {

/// Puts in place at once the pages wholly inside [from, from + bytes), where the system can
/// (Linux): memory about to be written then costs one call instead of a fault a page. Pages
/// already there keep what they hold.
void populatePages(const void *from, std::size_t bytes);

/// Room for `n` values in `values`, their pages put in place, for a vector about to be filled.
template <typename Vector>
void reservePopulated(Vector &values, std::size_t n)
{
    values.reserve(n);
    populatePages(values.data() + values.size(), (values.capacity() - values.size()) * sizeof(*values.data()));
}

}  // namespace engine
