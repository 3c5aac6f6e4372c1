// A damaged count must never turn into a giant allocation: under AddressSanitizer any
// single request above this bound is reported as a fault instead of being served.
extern "C" const char* __asan_default_options() {
  return "max_allocation_size_mb=1024:allocator_may_return_null=0";
}
