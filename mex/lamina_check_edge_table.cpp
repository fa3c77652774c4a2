// lamina_check_edge_table: lamina_check_edge_table(source_faces, edges)
// returns nothing when every row of the edge table belongs to the faces
// (check_edge_table, checks.h), and raises lamina:edgeMismatch naming the
// first row that does not. The energy plug-ins take any edge table; this
// is the check a prepared shell runs, for tables users build themselves.
#include <lamina/checks.h>

#include "arguments.h"
#include "mex.h"

namespace {

constexpr const char kUsage[] =
    "2 inputs required: lamina_check_edge_table(source_faces, edges), where edges is an index "
    "matrix with 4 columns: a, b, c, d of each edge, c the vertex opposite the edge in the face "
    "that runs from a to b, d the one in the face that runs from b to a";

}  // namespace

extern "C" void mexFunction(int nlhs, mxArray* /*plhs*/[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != 2) {
    mexErrMsgIdAndTxt("MATLAB:lamina_check_edge_table", kUsage);
    return;
  }
  if (!lamina::mex::check_output_count("lamina_check_edge_table", nlhs, 0,
                                       "it returns nothing, and raises an error for a row that "
                                       "does not belong")) {
    return;
  }
  lamina::matrix_view faces, edges;
  if (!lamina::mex::read_double_table(lamina::input::source_faces, prhs[0], &faces)) return;
  if (!lamina::mex::read_double_table(lamina::input::edges, prhs[1], &edges)) return;
  if (lamina::input_error e =
          lamina::check_edge_table(faces, edges, lamina::message_style::matlab)) {
    lamina::mex::raise(e);
  }
}
