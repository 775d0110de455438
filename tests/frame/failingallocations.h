// Allocation-failure injection for the frame tests: replaces operator new in this test program.
#ifndef RECFILEREADER_TESTS_FRAME_FAILINGALLOCATIONS_H
#define RECFILEREADER_TESTS_FRAME_FAILINGALLOCATIONS_H

namespace rectest {

// From now on operator new on this thread fails once `allowed` more allocations have
// succeeded; -1 lets every allocation through again.
void FailAllocationsAfter(long allowed);

}  // namespace rectest

#endif  // RECFILEREADER_TESTS_FRAME_FAILINGALLOCATIONS_H
