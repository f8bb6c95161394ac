// Draws a control mesh and its model before and after a deformation, side by side, as SVG:
// the model's front faces shaded, the control mesh's edges on top. All four files are mesh text.
//   draw_deformation CAGE MODEL MOVED_CAGE DEFORMED_MODEL OUT.svg [LEFT_TITLE RIGHT_TITLE]
// The titles replace the panels' own, e.g. to show two deformations of one pose side by side.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "formats/mesh_text.h"
#include "mesh/cell_type.h"
#include "mesh/mesh.h"

namespace {

using cagewarp::Mesh;
using Point = std::array<double, 3>;  // screen x, screen y (up), depth (away from the viewer)

constexpr double panelSize = 360;
constexpr double margin = 20;
constexpr double azimuth = 0.5;     // radians about the vertical axis
constexpr double elevation = 0.45;  // radians the viewer looks down

Point project(const Mesh& mesh, int vertex) {
  const double x = mesh.vertices(mesh.xyzRow, vertex);
  const double y = mesh.vertices(mesh.xyzRow + 1, vertex);
  const double z = mesh.vertices(mesh.xyzRow + 2, vertex);
  const double x1 = std::cos(azimuth) * x + std::sin(azimuth) * y;
  const double y1 = -std::sin(azimuth) * x + std::cos(azimuth) * y;
  return {x1, std::sin(elevation) * y1 + std::cos(elevation) * z,
          std::cos(elevation) * y1 - std::sin(elevation) * z};
}

struct Frame {
  double low[2] = {1e30, 1e30};
  double high[2] = {-1e30, -1e30};
  void add(const Mesh& mesh) {
    for (int i = 0; i < mesh.vertexColumns(); ++i) {
      const Point p = project(mesh, i);
      for (int k = 0; k < 2; ++k) {
        low[k] = std::min(low[k], p[k]);
        high[k] = std::max(high[k], p[k]);
      }
    }
  }
  // Panel coordinates of a projected point in panel `panel` (0 left, 1 right).
  std::pair<double, double> place(const Point& p, int panel) const {
    const double scale = panelSize / std::max({high[0] - low[0], high[1] - low[1], 1e-30});
    return {margin + panel * (panelSize + margin) + (p[0] - low[0]) * scale,
            margin + panelSize - (p[1] - low[1]) * scale};
  }
};

void drawModel(std::FILE* out, const Mesh& model, const Frame& frame, int panel) {
  struct Face {
    double depth;
    std::vector<Point> corners;
    int shade;
  };
  std::vector<Face> faces;
  for (int type : {2, 3}) {
    const cagewarp::IntArray& cells = model.cells[type];
    for (int c = 0; c < cells.cols(); ++c) {
      Face face{0, {}, 0};
      for (int k = 0; k < cells.rows(); ++k) face.corners.push_back(project(model, cells.at(k, c)));
      const Point& a = face.corners[0];
      const Point& b = face.corners[1];
      const Point& d = face.corners.back();
      const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
      const double v[3] = {d[0] - a[0], d[1] - a[1], d[2] - a[2]};
      const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                           u[0] * v[1] - u[1] * v[0]};
      const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      // Screen x, screen y and depth are a left-handed frame: an outward normal facing the
      // viewer has a positive depth component here.
      if (length == 0 || n[2] < 0) continue;
      face.shade = static_cast<int>(std::lround(80 + 150 * (n[2] / length)));
      for (const Point& p : face.corners) face.depth += p[2] / face.corners.size();
      faces.push_back(std::move(face));
    }
  }
  std::sort(faces.begin(), faces.end(),
            [](const Face& a, const Face& b) { return a.depth > b.depth; });
  for (const Face& face : faces) {
    std::fprintf(out, "<path d=\"");
    for (size_t k = 0; k < face.corners.size(); ++k) {
      const auto [x, y] = frame.place(face.corners[k], panel);
      std::fprintf(out, "%s%.0f %.0f", k == 0 ? "M" : "L", x, y);
    }
    const int s = face.shade;
    std::fprintf(out, "Z\" fill=\"#%02x%02x%02x\"/>\n", s * 2 / 3, s * 5 / 6, s);
  }
}

void drawCage(std::FILE* out, const Mesh& cage, const Frame& frame, int panel) {
  std::set<std::pair<int, int>> edges;
  for (int type = 1; type < 8; ++type)
    for (int c = 0; c < cage.cells[type].cols(); ++c)
      for (const auto& [i, j] : cagewarp::edgesOf(type)) {
        const int a = cage.cells[type].at(i, c), b = cage.cells[type].at(j, c);
        edges.insert({std::min(a, b), std::max(a, b)});
      }
  std::fprintf(out, "<path fill=\"none\" stroke=\"#d9480f\" stroke-width=\"1\" d=\"");
  for (const auto& [a, b] : edges) {
    const auto [x0, y0] = frame.place(project(cage, a), panel);
    const auto [x1, y1] = frame.place(project(cage, b), panel);
    std::fprintf(out, "M%.1f %.1fL%.1f %.1f", x0, y0, x1, y1);
  }
  std::fprintf(out, "\"/>\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 && argc != 8) {
    std::fprintf(stderr,
                 "usage: draw_deformation CAGE MODEL MOVED_CAGE DEFORMED_MODEL OUT.svg "
                 "[LEFT_TITLE RIGHT_TITLE]\n");
    return 2;
  }
  const char* titles[2] = {"control mesh and model", "moved control mesh, deformed model"};
  if (argc == 8) {
    titles[0] = argv[6];
    titles[1] = argv[7];
  }
  Mesh meshes[4];
  Frame frame;
  for (int k = 0; k < 4; ++k) {
    if (cagewarp::Status read = cagewarp::readText(meshes[k], argv[k + 1]); !read.ok) {
      std::fprintf(stderr, "draw_deformation: %s\n", read.message.c_str());
      return 1;
    }
    frame.add(meshes[k]);
  }
  std::FILE* out = std::fopen(argv[5], "w");
  if (out == nullptr) {
    std::fprintf(stderr, "draw_deformation: cannot write %s\n", argv[5]);
    return 1;
  }
  const double width = 2 * panelSize + 3 * margin, height = panelSize + 2 * margin + 20;
  std::fprintf(out,
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
               "viewBox=\"0 0 %.0f %.0f\">\n<rect width=\"100%%\" height=\"100%%\" "
               "fill=\"white\"/>\n",
               width, height, width, height);
  for (int panel = 0; panel < 2; ++panel) {
    drawModel(out, meshes[2 * panel + 1], frame, panel);
    drawCage(out, meshes[2 * panel], frame, panel);
    std::fprintf(out,
                 "<text x=\"%.0f\" y=\"%.0f\" font-family=\"sans-serif\" font-size=\"14\" "
                 "text-anchor=\"middle\">%s</text>\n",
                 margin + panel * (panelSize + margin) + panelSize / 2, height - 12, titles[panel]);
  }
  std::fprintf(out, "</svg>\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
