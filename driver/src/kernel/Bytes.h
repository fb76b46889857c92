// Bytes without the heap, for the code both builds compile.
//
// Offers: ByteView — the bytes of any contiguous container (data(),
// size()) or of a pointer and a length, not owned; ByteBuffer<N> — up to N
// bytes kept in place, appended to with a report of what did not fit;
// equality of any two of them by their bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <utility>

namespace qvx::driver {

class ByteView {
 public:
  ByteView() = default;
  ByteView(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  // Any contiguous container of bytes: a vector, a buffer, an array.
  template <class Container,
            class = std::enable_if_t<std::is_convertible_v<
                decltype(std::declval<const Container&>().data()), const std::uint8_t*>>>
  ByteView(const Container& bytes)  // NOLINT(google-explicit-constructor): a view of it
      : m_data(bytes.data()), m_size(bytes.size()) {}

  const std::uint8_t* data() const { return m_data; }
  std::size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  const std::uint8_t* begin() const { return m_data; }
  const std::uint8_t* end() const { return m_data + m_size; }
  std::uint8_t operator[](std::size_t index) const { return m_data[index]; }

 private:
  const std::uint8_t* m_data = nullptr;
  std::size_t m_size = 0;
};

// The same bytes, whatever holds them.
inline bool operator==(ByteView a, ByteView b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) {
      return false;
    }
  }
  return true;
}
inline bool operator!=(ByteView a, ByteView b) { return !(a == b); }

template <std::size_t N>
class ByteBuffer {
 public:
  using value_type = std::uint8_t;
  using const_iterator = const std::uint8_t*;
  using iterator = const std::uint8_t*;
  static constexpr std::size_t kCapacity = N;

  ByteBuffer() = default;
  ByteBuffer(std::initializer_list<std::uint8_t> bytes) { Append(bytes.begin(), bytes.size()); }

  const std::uint8_t* data() const { return m_bytes; }
  std::size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  const std::uint8_t* begin() const { return m_bytes; }
  const std::uint8_t* end() const { return m_bytes + m_size; }
  std::uint8_t operator[](std::size_t index) const { return m_bytes[index]; }

  void Clear() { m_size = 0; }
  // Appends what fits; false when some did not.
  bool Append(const std::uint8_t* bytes, std::size_t count) {
    std::size_t taken = 0;
    for (; taken < count && m_size < N; ++taken) {
      m_bytes[m_size++] = bytes[taken];
    }
    return taken == count;
  }
  bool Append(ByteView bytes) { return Append(bytes.data(), bytes.size()); }
  bool Append(std::uint8_t byte) { return Append(&byte, 1); }
  bool Append(std::initializer_list<std::uint8_t> bytes) {
    return Append(bytes.begin(), bytes.size());
  }
  bool Assign(ByteView bytes) {
    Clear();
    return Append(bytes);
  }

 private:
  std::uint8_t m_bytes[N] = {};
  std::size_t m_size = 0;
};

}  // namespace qvx::driver
