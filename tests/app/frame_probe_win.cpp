namespace tavrel::testing {

void LimitAddressSpace() {}  // a 32-bit process runs out at 2 GB by itself

}  // namespace tavrel::testing
