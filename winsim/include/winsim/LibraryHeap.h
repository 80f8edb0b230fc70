// The memory that the simulated libraries outside the system (the suite's proxy library, ...)
// hand to the programs and take back.
//
// Each block lives in pages of its own. A block that its library has taken back is protected,
// and its pages stay reserved while the world lives, so a program that still reads or writes it
// is caught at that very access: the world stops the run as a fault of the program, naming the
// program, the block, the byte and when the block was taken back. Taking a block back twice, or
// passing a pointer that is no block, stops the run the same way at the library's call. This
// holds in every build, with or without sanitizers, because it rests on page protection rather
// than on instrumentation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace winsim {

class World;

class LibraryHeap {
 public:
  // The heap of `world`, made on first use.
  static LibraryHeap &of(World &world);

  LibraryHeap();
  ~LibraryHeap();
  LibraryHeap(const LibraryHeap &) = delete;
  LibraryHeap &operator=(const LibraryHeap &) = delete;

  // A zeroed block of `size` bytes starting on a page boundary. `what` describes it in
  // reports, for example "the volume list kelp_GetVolumeList handed out at 10.000 s".
  void *allocate(std::size_t size, std::string what);
  // The library call `by` takes the block back. A block already taken back, or a pointer that
  // is not the start of a block, stops the run as a fault of the program.
  void release(void *block, const char *by);
  // Stops the run as a fault of the program unless `block` is a block the program still holds;
  // `call` is the library call it was passed to.
  void check_held(const void *block, const char *call) const;
  // Blocks handed out and not taken back.
  std::size_t held() const;

  // Used by the fault handler: the block taken back whose pages hold `address`, if any.
  struct Block {
    unsigned char *start = nullptr;
    std::size_t mapped = 0;  // bytes of whole pages
    std::string what;
    bool taken_back = false;
    std::uint64_t taken_back_at = 0;  // virtual ms
    const char *taken_back_by = "";
  };
  const Block *taken_back_block(const void *address) const;

 private:
  const Block *find_start(const void *block) const;

  std::vector<Block> blocks_;
};

}  // namespace winsim
