// Part of each program linked with mimalloc: its heap in 2 MiB pages. Each page fault costs
// microseconds on the virtual machines we run on, and a run of pdftext faults in hundreds of small
// pages of fresh heap; huge pages cut the faults of a run by half and its time by about a tenth.
#include <mimalloc.h>

namespace {

void heapInHugePages() {
  mi_option_enable(mi_option_large_os_pages);
}

// Runs before any library's constructor, so before mimalloc reserves its first segment (which a
// later call could no longer change). The option is a plain store into mimalloc's option table.
[[gnu::used, gnu::section(".preinit_array")]] void (*const atStart)() = heapInHugePages;

} // namespace
