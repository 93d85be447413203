// VariantArguments: an Invoke argument taken as the type its method-table row
// declares, with the conversions script engines rely on.
#pragma once

#include "interface/Values.h"
#include "pennaform/pennaform.h"

namespace pennaform::com {

// argumentFromVariant: `variant` as a long or a string argument. A long takes
// VT_I4, VT_I2, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_INT, VT_UINT, VT_BOOL and
// VT_R4/VT_R8 (rounded half to even; a value from -2^31 to 2^32-1 passes its
// 32 bits, so the flag 0x80000000 that a script holds as 2147483648.0 stays
// that flag; DISP_E_OVERFLOW outside, and for NaN and the infinities). A
// string takes VT_BSTR, a null BSTR reading as empty. Either follows
// VT_BYREF, and VT_VARIANT | VT_BYREF one level deep. Anything else, or a
// null reference, is DISP_E_TYPEMISMATCH.
HRESULT argumentFromVariant(const VARIANT& variant, ValueType wanted, Argument& outArgument);

}  // namespace pennaform::com
