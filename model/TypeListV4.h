#pragma once

// Device type list. Filled from the type definition document received from the
// server; the device model builds it out.
class TTypeListV4 {
 public:
  TTypeListV4() = default;
  TTypeListV4(const TTypeListV4&) = delete;
  TTypeListV4& operator=(const TTypeListV4&) = delete;
};
