// The host against deliberately faulty MEX files (tests/host/faulty/): each
// fault must end in a defined outcome, an exception for the caller, and
// every array the plug-in created must be freed. live_arrays() proves the
// freeing here; the ASan build's leak check proves it again at exit.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "mex.h"
#include "mex_host.h"

namespace lamina {
namespace host {
namespace {

std::string faulty(const std::string& name) {
  return std::string(LAMINA_FAULTY_DIR) + "/" + name + LAMINA_MEX_SUFFIX;
}

TEST(Host, OutputPastTheSlotsIsCaughtAndFreed) {
  const plugin p(faulty("overrun"));
  const long before = live_arrays();
  // nlhs 0 still gets the one slot for ans, so the guard sits at index 1.
  for (int nlhs : {0, 1, 2, 3}) {
    SCOPED_TRACE(nlhs);
    const int slots = nlhs > 0 ? nlhs : 1;
    try {
      p.call(nlhs, {});
      ADD_FAILURE() << "no error";
    } catch (const std::logic_error& e) {
      EXPECT_EQ(std::string(e.what()), faulty("overrun") + " stored an output past the " +
                                           std::to_string(slots) + " slot(s) the host provided");
    }
    EXPECT_EQ(live_arrays(), before);
  }
}

TEST(Host, UnreturnedArraysAreFreedWhenTheCallEnds) {
  const plugin p(faulty("unclaimed"));
  const long before = live_arrays();
  {
    const call_result out = p.call(1, {});
    ASSERT_EQ(out.outputs.size(), 1u);
    EXPECT_EQ(values(out.outputs[0].get()), (std::vector<double>{2, 0, 0, 0}));
    // Of the three arrays created, only the returned one is still alive.
    EXPECT_EQ(live_arrays(), before + 1);
  }
  EXPECT_EQ(live_arrays(), before);
}

TEST(Host, ErrorMidCallReachesTheCallerAndFreesItsArrays) {
  const plugin p(faulty("error_mid_call"));
  const long before = live_arrays();
  try {
    p.call(1, {});
    ADD_FAILURE() << "no error";
  } catch (const mex_error& e) {
    EXPECT_EQ(e.identifier(), "faulty:midCall");
    EXPECT_EQ(e.message(), "failed after creating 2 arrays (on purpose)");
    EXPECT_EQ(std::string(e.what()), "faulty:midCall: failed after creating 2 arrays (on purpose)");
    ASSERT_EQ(e.warnings().size(), 1u);
    EXPECT_EQ(e.warnings()[0].identifier, "faulty:beforeError");
    EXPECT_EQ(e.warnings()[0].message, "about to fail");
  }
  // Both arrays, the one stored in plhs[0] included, are gone.
  EXPECT_EQ(live_arrays(), before);
}

TEST(Host, WarningsAreRecordedAndTheCallGoesOn) {
  const plugin p(faulty("warns"));
  const call_result out = p.call(1, {});
  ASSERT_EQ(out.outputs.size(), 1u);
  EXPECT_EQ(values(out.outputs[0].get()), std::vector<double>{1.5});
  ASSERT_EQ(out.warnings.size(), 2u);
  EXPECT_EQ(out.warnings[0].identifier, "faulty:first");
  EXPECT_EQ(out.warnings[0].message, "value 7 of x");
  EXPECT_EQ(out.warnings[1].identifier, "faulty:second");
  EXPECT_EQ(out.warnings[1].message, "100% sure, not a format");
  // Each call starts with no warnings.
  EXPECT_EQ(p.call(1, {}).warnings.size(), 2u);
}

// Every class a MATLAB or Octave user can pass, as the host builds it, with
// the name MATLAB gives it.
struct any_class {
  const char* name;
  array value;
};

std::vector<any_class> classes_without_doubles() {
  std::vector<any_class> v;
  v.push_back({"cell", make_array(mxCELL_CLASS, 1, 2)});
  v.push_back({"struct", make_array(mxSTRUCT_CLASS, 1, 1)});
  v.push_back({"function_handle", make_function_handle()});
  v.push_back({"containers.Map", make_object("containers.Map")});
  v.push_back({"char", make_array(mxCHAR_CLASS, 1, 3)});
  v.push_back({"logical", make_array(mxLOGICAL_CLASS, 2, 2)});
  v.push_back({"single", make_array(mxSINGLE_CLASS, 2, 2)});
  const std::pair<mxClassID, const char*> integers[] = {
      {mxINT8_CLASS, "int8"},     {mxUINT8_CLASS, "uint8"},  {mxINT16_CLASS, "int16"},
      {mxUINT16_CLASS, "uint16"}, {mxINT32_CLASS, "int32"},  {mxUINT32_CLASS, "uint32"},
      {mxINT64_CLASS, "int64"},   {mxUINT64_CLASS, "uint64"}};
  for (const auto& c : integers) v.push_back({c.second, make_array(c.first, 3, 1)});
  return v;
}

TEST(Host, DataOfAnythingButADoubleArrayIsAContractError) {
  const plugin p(faulty("data_access"));
  const long before = live_arrays();
  for (const any_class& c : classes_without_doubles()) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(mxGetClassName(c.value.get()), c.name);
    EXPECT_FALSE(mxIsDouble(c.value.get()));
    try {
      p.call(1, {c.value.get()});
      ADD_FAILURE() << "no error";
    } catch (const mex_error& e) {
      EXPECT_EQ(e.identifier(), "lamina_host:contract");
      EXPECT_EQ(e.message(), std::string("mxGetPr called on an array of class ") + c.name +
                                 ", which has no double data; check the class (mxIsDouble, "
                                 "mxIsNumeric, mxGetClassName) before asking for the data");
    }
  }
  // The array created before each failed access is gone too.
  EXPECT_EQ(live_arrays(), before);

  // Real, complex and sparse double arrays have real double data.
  const array real = make_double(1, 3, {1, -2, 3.5});
  EXPECT_EQ(values(p.call(1, {real.get()}).outputs[0].get()), (std::vector<double>{1, -2, 3.5}));
  const array complex = make_array(mxDOUBLE_CLASS, 2, 1, mxCOMPLEX);
  EXPECT_EQ(values(p.call(1, {complex.get()}).outputs[0].get()), (std::vector<double>{0, 0}));
  EXPECT_EQ(live_arrays(), before + 2);
}

TEST(Host, ScalarOfAnArrayWithoutNumbersIsAContractError) {
  const plugin p(faulty("data_access"));
  const array second = make_scalar(0);
  std::vector<any_class> without_numbers;
  without_numbers.push_back({"cell", make_array(mxCELL_CLASS, 1, 1)});
  without_numbers.push_back({"struct", make_array(mxSTRUCT_CLASS, 1, 1)});
  without_numbers.push_back({"function_handle", make_function_handle()});
  without_numbers.push_back({"containers.Map", make_object("containers.Map")});
  for (const any_class& c : without_numbers) {
    SCOPED_TRACE(c.name);
    try {
      p.call(1, {c.value.get(), second.get()});
      ADD_FAILURE() << "no error";
    } catch (const mex_error& e) {
      EXPECT_EQ(e.identifier(), "lamina_host:contract");
      EXPECT_EQ(e.message().rfind(std::string("mxGetScalar called on an array of class ") + c.name +
                                      ", which has no numeric data",
                                  0),
                0u)
          << e.message();
    }
  }
  // Empty arrays have no first element.
  const array empty = make_array(mxDOUBLE_CLASS, 0, 3);
  try {
    p.call(1, {empty.get(), second.get()});
    ADD_FAILURE() << "no error";
  } catch (const mex_error& e) {
    EXPECT_EQ(e.identifier(), "lamina_host:contract");
    EXPECT_EQ(e.message(), "mxGetScalar: called on an empty array");
  }
  // Numeric, logical and char arrays give their first element, as in MATLAB.
  array i32 = make_array(mxINT32_CLASS, 1, 2);
  static_cast<std::int32_t*>(data(i32.get()))[0] = -7;
  array text = make_array(mxCHAR_CLASS, 1, 1);
  static_cast<std::uint16_t*>(data(text.get()))[0] = 'A';
  EXPECT_EQ(values(p.call(1, {i32.get(), second.get()}).outputs[0].get()), std::vector<double>{-7});
  EXPECT_EQ(values(p.call(1, {text.get(), second.get()}).outputs[0].get()),
            std::vector<double>{65});
}

TEST(Host, FunctionHandlesAndObjectsHaveMatlabsClassIds) {
  const array f = make_function_handle();
  const array m = make_object("containers.Map", 1, 1);
  EXPECT_EQ(mxGetClassID(f.get()), mxFUNCTION_CLASS);
  EXPECT_EQ(mxGetClassID(m.get()), mxOBJECT_CLASS);
  for (const mxArray* a : {f.get(), m.get()}) {
    EXPECT_FALSE(mxIsNumeric(a));
    EXPECT_FALSE(mxIsLogical(a));
    EXPECT_EQ(mxGetM(a), 1u);
    EXPECT_EQ(mxGetN(a), 1u);
  }
  EXPECT_THROW(make_array(mxOBJECT_CLASS, 1, 1), std::invalid_argument);
}

TEST(Host, ContainersOwnWhatIsStoredInThemAndPrintingIsRecorded) {
  const plugin p(faulty("containers"));
  const long before = live_arrays();
  {
    const call_result out = p.call(2, {});
    const mxArray* s = out.outputs[0].get();
    EXPECT_EQ(field_names(s), (std::vector<std::string>{"scalar", "text", "cells"}));
    EXPECT_EQ(values(field(s, "scalar")), std::vector<double>{1.5});
    EXPECT_EQ(text(field(s, "text")), "text");
    const mxArray* cells = field(s, "cells");
    EXPECT_EQ(logicals(cell(cells, 0)), std::vector<bool>{true});
    EXPECT_EQ(cell(cells, 1), nullptr);
    EXPECT_EQ(logicals(out.outputs[1].get()), (std::vector<bool>{false, false, false, true}));
    EXPECT_EQ(out.printed, "3 lines\n");
    EXPECT_EQ(out.evaluated, std::vector<std::string>{"drawnow;"});
    // The struct, its scalar, string, cell and logical, and the matrix.
    EXPECT_EQ(live_arrays(), before + 6);
  }
  EXPECT_EQ(live_arrays(), before);
}

TEST(Host, StoringAnArrayTheCallDidNotCreateIsRefused) {
  const plugin p(faulty("containers"));
  const array input = make_scalar(2);
  const long before = live_arrays();
  try {
    p.call(2, {input.get()});
    ADD_FAILURE() << "no error";
  } catch (const mex_error& e) {
    EXPECT_EQ(e.identifier(), "lamina_host:contract");
    EXPECT_NE(e.message().find("mxSetField_730: the value is not an array this call created"),
              std::string::npos)
        << e.message();
  }
  EXPECT_EQ(live_arrays(), before);
}

}  // namespace
}  // namespace host
}  // namespace lamina
