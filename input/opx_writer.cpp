#include "input/opx_writer.h"

#include <cmath>

#include "input/line_list.h"
#include "input/opx_reader.h"

int LineToOpx(CreasePattern* cp, FILE* fp) {
  int n = 0;
  for (List* node = cp->lines; node != nullptr && node->data != nullptr; node = node->next) ++n;
  std::fprintf(fp, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  std::fprintf(fp, "<java version=\"1.5.0_05\" class=\"java.beans.XMLDecoder\">\n");
  std::fprintf(fp, " <object class=\"oripa.DataSet\">\n");
  std::fprintf(fp, "  <void property=\"lines\">\n");
  std::fprintf(fp, "   <array class=\"oripa.OriLineProxy\" length=\"%d\">\n", n);
  List* node = cp->lines;
  for (int i = 0; i < n; ++i, node = node->next) {
    const Line* l = static_cast<const Line*>(node->data);
    std::fprintf(fp, "    <void index=\"%d\"> \n", i);
    std::fprintf(fp, "     <object class=\"oripa.OriLineProxy\"> \n");
    std::fprintf(fp, "      <void property=\"type\"> \n");
    std::fprintf(fp, "       <int>%d</int> \n", l->type);
    std::fprintf(fp, "      </void> \n");
    std::fprintf(fp, "      <void property=\"x0\"> \n");
    std::fprintf(fp, "       <double>%f</double> \n", l->x0);
    std::fprintf(fp, "      </void> \n");
    std::fprintf(fp, "      <void property=\"x1\"> \n");
    std::fprintf(fp, "       <double>%f</double> \n", l->x1);
    std::fprintf(fp, "      </void> \n");
    std::fprintf(fp, "      <void property=\"y0\"> \n");
    std::fprintf(fp, "       <double>%f</double> \n", l->y0);
    std::fprintf(fp, "      </void> \n");
    std::fprintf(fp, "      <void property=\"y1\"> \n");
    std::fprintf(fp, "       <double>%f</double> \n", l->y1);
    std::fprintf(fp, "      </void> \n");
    if (std::isfinite(l->target)) {
      // Only a target the drawing gave: every digit, so it reads back as it was.
      std::fprintf(fp, "      <void property=\"%s\"> \n", kOpxTargetProperty);
      std::fprintf(fp, "       <double>%.17g</double> \n", l->target);
      std::fprintf(fp, "      </void> \n");
    }
    std::fprintf(fp, "     </object> \n");
    std::fprintf(fp, "    </void> \n");
  }
  std::fprintf(fp, "   </array>\n");
  std::fprintf(fp, "  </void>\n");
  std::fprintf(fp, "  <void property=\"mainVersion\">\n");
  std::fprintf(fp, "   <int>1</int> \n");
  std::fprintf(fp, "  </void> \n");
  std::fprintf(fp, "  <void property=\"paperSize\"> \n");
  std::fprintf(fp, "   <double>%4f</double> \n", cp->paper_size);
  std::fprintf(fp, "  </void> \n");
  std::fprintf(fp, "  <void property=\"subVersion\"> \n");
  std::fprintf(fp, "   <int>1</int> \n");
  std::fprintf(fp, "  </void> \n");
  std::fprintf(fp, " </object>\n");
  std::fprintf(fp, "</java>\n");
  if (std::fflush(fp) != 0 || std::ferror(fp)) return -1;
  return 0;
}
