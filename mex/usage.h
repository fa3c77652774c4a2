// The usage texts the plug-ins raise when they are not given six inputs
// (lamina_work_hessian: six, then name-value pairs), for the MEX gateways and
// the oct-files alike. Callers match on them, so they stay byte for byte as
// they are: the TAB runs included, and lamina_work_total sharing the text of
// lamina_work_deriv.
#ifndef LAMINA_MEX_USAGE_H
#define LAMINA_MEX_USAGE_H

#define LAMINA_TABS15 "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t"
#define LAMINA_TABS16 LAMINA_TABS15 "\t"

namespace lamina {
namespace mex {

constexpr const char kEnergyUsage[] =
    "6 inputs required: [energy, gradient] = lamina_work_deriv(deformed_v, " LAMINA_TABS16
    " mu, eta, source_faces, source_vertices, edges), where edges is an index matrix with "
    "4 columns, " LAMINA_TABS16
    " first 2 columns are the indices of the vertices that comprise the edge, " LAMINA_TABS16
    " 3rd is the index of the opposite vertex in the face with the same orientation, " LAMINA_TABS16
    " 4th the opposite vertex in the face with the opposite orientation";

constexpr const char kMaskUsage[] =
    "6 inputs required: [valid_edges] = " LAMINA_TABS15
    "lamina_hinge_mask(deformed_v, mu, eta, source_faces, source_vertices, edges), " LAMINA_TABS15
    "where edges is an index matrix with 4 columns, first 2 columns are the indices of "
    "the " LAMINA_TABS15
    "vertices that comprise the edge, 3rd is the index of the opposite vertex in the "
    "face " LAMINA_TABS15
    "with the same orientation, 4th the opposite vertex in the face with the opposite orientation";

constexpr const char kHessianUsage[] =
    "6 inputs required: [energy, gradient, hessian] = lamina_work_hessian(deformed_v, mu, eta, "
    "source_faces, source_vertices, edges), optionally followed by the option 'Project', "
    "'none' | 'clamp' | 'abs'";

}  // namespace mex
}  // namespace lamina

#undef LAMINA_TABS15
#undef LAMINA_TABS16

#endif  // LAMINA_MEX_USAGE_H
