#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Small model files of every model format, built in code, with the same five vertices (or, for
// STL, the four corners of two triangles) so the readers can be checked against each other.
namespace cagewarp::testing {

// Appends a value's bytes in the given byte order.
template <typename T>
void appendBytes(std::string& out, T value, bool bigEndian) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  if (bigEndian != (std::endian::native == std::endian::big)) {
    for (size_t k = 0; k < sizeof(T) / 2; ++k) std::swap(bytes[k], bytes[sizeof(T) - 1 - k]);
  }
  out.append(bytes, sizeof(T));
}

// Texture coordinates, normals, groups, a material, relative indices, a polyline and a point.
inline std::string objSample() {
  return "# a test piece\nmtllib scene.mtl\no piece\n"
         "v 0 0 0\nv 1.0 0 0 1.0\nv  1\t1 0 0.5 0.25 0.125\nv 0 1 0\r\nv 0.5 0.5 1e0\n"
         "vt 0 0\nvt 1 0\nvt 1 1\nvn 0 0 1\ng top\nusemtl red\n"
         "f 1/1/1 2/2/1 3/3/1 4//1\nf -5 -3 -1 # relative\ns off\nl 1 2 5\np 4\nf 1 2 3 4 5\n";
}

inline std::string offSample() {
  return "OFF\n# comment\n5 2 0\n0 0 0\n1.0 0 0 # tail\n1 1 0\n\n0 1 0\n0.5 0.5 1e0\n"
         "4 0 1 2 3\n3 0 1 4 0.5 0.5 0.5\n";
}

inline std::string coffSample() {
  return "COFF 5 1 0\n0 0 0 255 0 0 255\n1.0 0 0 0 255 0 255\n1 1 0 0 0 255 255\n"
         "0 1 0 9 9 9 255\n0.5 0.5 1e0 1 1 1 255\n5 0 1 2 3 4\n";
}

enum class PlyEncoding { ascii, littleEndian, bigEndian };

// Vertices with normals and uchar colours, a face element and an extra element with a list.
inline std::string plySample(PlyEncoding encoding, bool doublePositions) {
  static const char* formats[] = {"ascii", "binary_little_endian", "binary_big_endian"};
  const char* positionType = doublePositions ? "double" : "float";
  std::string out = std::string("ply\nformat ") + formats[static_cast<int>(encoding)] +
                    " 1.0\ncomment made in a test\nelement vertex 5\n";
  for (const char* axis : {"x", "y", "z"})
    out += std::string("property ") + positionType + " " + axis + "\n";
  out +=
      "property float nx\nproperty float ny\nproperty float nz\n"
      "property uchar red\nproperty uchar green\nproperty uchar blue\n"
      "element face 2\nproperty list uchar int vertex_indices\n"
      "element material 2\nproperty uchar kind\nproperty list uint short tags\nend_header\n";
  const float positions[5][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 0.5f, 1}};
  const std::vector<std::vector<int32_t>> faces = {{0, 1, 2, 3}, {0, 1, 4}};
  if (encoding == PlyEncoding::ascii) {
    const char* texts[5] = {"0 0 0", "1.0 0 0", "1 1 0", "0 1 0", "0.5 0.5 1e0"};
    for (const char* text : texts) out += std::string(text) + " 0 0 1 255 128 0\n";
    out += "4 0 1 2 3\n3 0 1 4\n1 2 7 8\n2 0\n";
    return out;
  }
  const bool big = encoding == PlyEncoding::bigEndian;
  for (const auto& p : positions) {
    for (float c : p)
      doublePositions ? appendBytes<double>(out, c, big) : appendBytes<float>(out, c, big);
    for (float n : {0.0f, 0.0f, 1.0f}) appendBytes(out, n, big);
    for (uint8_t colour : {255, 128, 0}) appendBytes(out, colour, big);
  }
  for (const auto& face : faces) {
    appendBytes(out, static_cast<uint8_t>(face.size()), big);
    for (int32_t index : face) appendBytes(out, index, big);
  }
  appendBytes<uint8_t>(out, 1, big);
  appendBytes<uint32_t>(out, 2, big);
  appendBytes<int16_t>(out, 7, big);
  appendBytes<int16_t>(out, 8, big);
  appendBytes<uint8_t>(out, 2, big);
  appendBytes<uint32_t>(out, 0, big);
  return out;
}

// Two triangles sharing an edge: four vertices once coincident corners are merged.
inline std::string stlAsciiSample() {
  return "solid square\n"
         " facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 0 0\n   vertex 1 1 0\n"
         "  endloop\n endfacet\n"
         " facet normal 0 0 1\n  outer loop\n   vertex 0.0 -0 0e0\n   vertex 1 1 0\n"
         "   vertex 0 1 0\n  endloop\n endfacet\nendsolid square\n";
}

// The same triangles in binary, behind a header that starts like ASCII STL.
inline std::string stlBinarySample() {
  std::string out = "solid but binary";
  out.resize(80, ' ');
  appendBytes<uint32_t>(out, 2, false);
  const float triangles[2][3][3] = {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}},
                                    {{0, 0, 0}, {1, 1, 0}, {0, 1, 0}}};
  for (const auto& triangle : triangles) {
    for (float n : {0.0f, 0.0f, 1.0f}) appendBytes(out, n, false);
    for (const auto& corner : triangle)
      for (float c : corner) appendBytes(out, c, false);
    appendBytes<uint16_t>(out, 0, false);
  }
  return out;
}

// Points after a byte order mark, with CRLF line ends, a header and comment lines, extra columns.
inline std::string xyzSample() {
  return "\xEF\xBB\xBF# points\r\nX Y Z\r\n0 0 0 1 2\r\n1.0 0 0\r\n1 1 0\r\n\r\n"
         "0 1 0 # fourth\r\n0.5 0.5 1e0\r\n";
}

// The same points with the position columns out of order, named in mixed case and quotes,
// among other columns, one of them quoted with a comma inside.
inline std::string csvSample() {
  return "\xEF\xBB\xBFid,\"Z\", y ,X,label\r\n1,0,0,0,\"a,b\"\r\n2,0,0,1.0,b\r\n3,0,1,1,c\r\n"
         "# note\r\n\r\n4,0,1,0,d\r\n5,1e0, 0.5 ,0.5,e\r\n";
}

}  // namespace cagewarp::testing
