// Private parts of NtxFile shared by its units: ntx_file.cc (pages, the tree, updates and
// search), ntx_build.cc (the bulk builder) and ntx_writer_mark.cc (the pending mark). The
// header's byte places they share, the lock bytes, and the lock wait.
#ifndef VELLORIA_ENGINE_NTX_FILE_INTERNAL_H_
#define VELLORIA_ENGINE_NTX_FILE_INTERNAL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "engine/ntx_file.h"
#include "engine/shared_file.h"
#include "engine/status.h"

namespace xb::ntx {

using namespace velloria::bytes;

// Locked by a handle while it updates the tree (and while it counts itself in the mark).
inline constexpr uint64_t kIndexLockByte = kLockBase;
// Read-locked by every sharing handle counted in the pending mark: a mark nobody holds this
// byte for was left by a writer that stopped.
inline constexpr uint64_t kWriterLockByte = kIndexLockByte + 1;
// The pending mark (NtxHeader::pending): a byte of the header's unused tail.
inline constexpr int kPendingOffset = 1023;


// The header page of an index, kNtxPageSize bytes.
std::vector<uint8_t> EncodeHeader(const NtxHeader& h);
// Takes a one-byte lock of fd (shared or not), retrying until the lock timeout.
Status WaitForLock(int fd, uint64_t byte, bool shared, const std::string& path);

}  // namespace xb::ntx

#endif  // VELLORIA_ENGINE_NTX_FILE_INTERNAL_H_
