// Host entry of the ringtest plug-in:  [in , bnd] = ringtest(X , node , [cnect])
//
// Written directly against the MEX interface; it uses none of the generated
// entry layer. Every input is checked before anything is allocated, and the
// working data of the classification is released before a host error is
// raised, so no error path (host errors may throw or jump) leaks memory.
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <new>

#include "mex.h"
#include "polygon/point_in_polygon.h"

static_assert(sizeof(mxLogical) == 1, "logical outputs are written one byte per flag");

namespace {

constexpr char kHelpText[] =
    "\n\n"
    "Returns points laying inside/on bondary of a given polygon.\n"
    "\n"
    "\n"
    "Usage\n"
    "-----\n"
    "\n"
    "\n"
    "[in , bnd]        = ringtest(X , node , [cnect]);\n"
    "\n"
    "\n"
    "Inputs\n"
    "------\n"
    "\n"
    "X                  Point to test if inside/bounds (2 x N).\n"
    "node               Node of Polygon (2 x Nnode) where node(: , i) is linked with node(: , i+1).\n"
    "cnect              ndex of connected noded (default node  = [(1:Nnode-1) , Nnode ; (2:Nnode) , 1]).\n"
    "\n"
    "\n"
    "Outputs\n"
    "-------\n"
    "\n"
    "in                 Logical array of X points inside the polygon (1 x N).\n"
    "bnd                Logical array of X points laying on the boundary of the polygon (1 x N).\n"
    "\n\n";

constexpr const char* kBadInput = "ringtest:badInput";

// mxGetPr reads only the real part of a complex array and only the stored
// values of a sparse one; any other class has no double data at all.
bool is_real_double(const mxArray* a) {
  return mxIsDouble(a) && !mxIsComplex(a) && !mxIsSparse(a);
}

// A value as the host language writes it (NaN, Inf, -Inf, otherwise %g).
void format_value(char* out, std::size_t size, double v) {
  if (std::isnan(v)) {
    std::snprintf(out, size, "NaN");
  } else if (std::isinf(v)) {
    std::snprintf(out, size, v > 0 ? "Inf" : "-Inf");
  } else {
    std::snprintf(out, size, "%g", v);
  }
}

}  // namespace

extern "C" void mexfilerequiredapiversion(unsigned int* built_by_rel,
                                          unsigned int* target_api_version) {
  *built_by_rel = 131467u;           // 0x2018B
  *target_api_version = 120586240u;  // 0x7300000
}

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < 2) {
    mexPrintf("%s", kHelpText);
    return;
  }
  if (nlhs > 2) {
    mexErrMsgIdAndTxt("ringtest:tooManyOutputs", "too many outputs: at most 2 (in, bnd)");
  }

  const mxArray* X = prhs[0];
  if (mxGetM(X) != 2) mexErrMsgIdAndTxt(kBadInput, "X must be (2 x N)");
  if (!is_real_double(X)) mexErrMsgIdAndTxt(kBadInput, "X must be a real double array");
  const mxArray* node = prhs[1];
  if (mxGetM(node) != 2) mexErrMsgIdAndTxt(kBadInput, "node must be (2 x Nnode)");
  if (!is_real_double(node)) mexErrMsgIdAndTxt(kBadInput, "node must be a real double array");

  ccs::polygon::PointSet points;
  points.xy = mxGetPr(X);
  points.count = static_cast<std::size_t>(mxGetN(X));
  if (points.count > ccs::polygon::kMaxPoints) {
    mexErrMsgIdAndTxt(kBadInput, "X has more than %lu points",
                      static_cast<unsigned long>(ccs::polygon::kMaxPoints));
  }

  ccs::polygon::Polygon polygon;
  polygon.node = mxGetPr(node);
  polygon.n_nodes = static_cast<std::size_t>(mxGetN(node));
  if (nrhs >= 3) {
    const mxArray* cnect = prhs[2];
    if (mxGetM(cnect) != 2) mexErrMsgIdAndTxt(kBadInput, "cnect must be (2 x Ne)");
    if (!is_real_double(cnect)) mexErrMsgIdAndTxt(kBadInput, "cnect must be a real double array");
    polygon.cnect = mxGetPr(cnect);
    polygon.n_edges = static_cast<std::size_t>(mxGetN(cnect));
    const std::ptrdiff_t bad = ccs::polygon::first_invalid_edge_entry(polygon);
    if (bad >= 0) {
      char value[32];
      format_value(value, sizeof value, polygon.cnect[bad]);
      mexErrMsgIdAndTxt(kBadInput,
                        "cnect(%ld,%ld) = %s is not a node number: entries must be whole "
                        "numbers in 1..%lu (Nnode)",
                        static_cast<long>(bad % 2 + 1), static_cast<long>(bad / 2 + 1), value,
                        static_cast<unsigned long>(polygon.n_nodes));
    }
  }

  const mwSize n = static_cast<mwSize>(points.count);
  mxArray* in = mxCreateLogicalMatrix(1, n);
  mxArray* bnd = mxCreateLogicalMatrix(1, n);

  // The classification allocates its working data with the C++ allocator; a
  // failure is turned into a host error only after that data is gone. The
  // message is kept in a fixed buffer so nothing on the heap is live then.
  char failure[160] = "";
  try {
    ccs::polygon::point_in_polygon(points, polygon, reinterpret_cast<unsigned char*>(mxGetLogicals(in)),
                                   reinterpret_cast<unsigned char*>(mxGetLogicals(bnd)));
  } catch (const std::bad_alloc&) {
    std::snprintf(failure, sizeof failure, "not enough memory for %lu points",
                  static_cast<unsigned long>(points.count));
  } catch (const std::exception& e) {
    std::snprintf(failure, sizeof failure, "%s", e.what());
  }
  if (failure[0] != '\0') {
    mxDestroyArray(in);
    mxDestroyArray(bnd);
    mexErrMsgIdAndTxt("ringtest:failed", "%s", failure);
  }

  // The host provides room for max(nlhs, 1) outputs.
  plhs[0] = in;
  if (nlhs >= 2) {
    plhs[1] = bnd;
  } else {
    mxDestroyArray(bnd);
  }
}
