#include "interface/com/VariantArguments.h"

#include <cmath>
#include <cstdint>

#include "interface/Bstr.h"

namespace pennaform::com {
namespace {

// read: a member of the VARIANT's union, or what its reference points at.
template <typename T>
T read(const VARIANT& variant, bool byReference, T VARIANT::*member) {
    return byReference ? *static_cast<const T*>(variant.byref) : variant.*member;
}

HRESULT longFromNumber(double number, std::int32_t& out) {
    if (!std::isfinite(number)) return DISP_E_OVERFLOW;
    double rounded = std::nearbyint(number);  // the default mode: half to even
    if (rounded < -2147483648.0 || rounded > 4294967295.0) return DISP_E_OVERFLOW;
    out = std::int32_t(std::uint32_t(std::int64_t(rounded)));
    return S_OK;
}

HRESULT longFrom(const VARIANT& v, VARTYPE type, bool byReference, std::int32_t& out) {
    switch (type) {
        case VT_I4:
            return out = read(v, byReference, &VARIANT::lVal), S_OK;
        case VT_INT:
            return out = read(v, byReference, &VARIANT::intVal), S_OK;
        case VT_I2:
            return out = read(v, byReference, &VARIANT::iVal), S_OK;
        case VT_I1:
            return out = read(v, byReference, &VARIANT::cVal), S_OK;
        case VT_UI1:
            return out = read(v, byReference, &VARIANT::bVal), S_OK;
        case VT_UI2:
            return out = read(v, byReference, &VARIANT::uiVal), S_OK;
        case VT_UI4:
            return out = std::int32_t(read(v, byReference, &VARIANT::ulVal)), S_OK;
        case VT_UINT:
            return out = std::int32_t(read(v, byReference, &VARIANT::uintVal)), S_OK;
        case VT_BOOL:
            return out = read(v, byReference, &VARIANT::boolVal), S_OK;
        case VT_R8:
            return longFromNumber(read(v, byReference, &VARIANT::dblVal), out);
        case VT_R4:
            return longFromNumber(read(v, byReference, &VARIANT::fltVal), out);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace

HRESULT argumentFromVariant(const VARIANT& variant, ValueType wanted, Argument& outArgument) {
    const VARIANT* target = &variant;
    if (target->vt == (VT_VARIANT | VT_BYREF)) {
        target = target->pvarVal;
        if (target == nullptr || target->vt == (VT_VARIANT | VT_BYREF)) return DISP_E_TYPEMISMATCH;
    }
    bool byReference = (target->vt & VT_BYREF) != 0;
    VARTYPE type = VARTYPE(target->vt & ~VT_BYREF);
    if (byReference && target->byref == nullptr) return DISP_E_TYPEMISMATCH;

    if (wanted == ValueType::String) {
        if (type != VT_BSTR) return DISP_E_TYPEMISMATCH;
        outArgument = copyArgument(read(*target, byReference, &VARIANT::bstrVal));
        return S_OK;
    }
    std::int32_t number = 0;
    HRESULT converted = longFrom(*target, type, byReference, number);
    if (converted == S_OK) outArgument = number;
    return converted;
}

}  // namespace pennaform::com

extern "C" {

PENNAFORM_API void VariantInit(VARIANT* variant) {
    if (variant == nullptr) return;
    variant->vt = VT_EMPTY;
    variant->wReserved1 = variant->wReserved2 = variant->wReserved3 = 0;
}

PENNAFORM_API HRESULT VariantClear(VARIANT* variant) {
    if (variant == nullptr) return E_INVALIDARG;
    if ((variant->vt & VT_BYREF) == 0) {
        switch (variant->vt) {
            case VT_BSTR:
                SysFreeString(variant->bstrVal);
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                if (variant->punkVal != nullptr)
                    variant->punkVal->lpVtbl->Release(variant->punkVal);
                break;
            case VT_EMPTY:
            case VT_NULL:
            case VT_I2:
            case VT_I4:
            case VT_R4:
            case VT_R8:
            case VT_ERROR:
            case VT_BOOL:
            case VT_I1:
            case VT_UI1:
            case VT_UI2:
            case VT_UI4:
            case VT_INT:
            case VT_UINT:
                break;
            default:
                return DISP_E_BADVARTYPE;
        }
    }
    VariantInit(variant);
    return S_OK;
}

}  // extern "C"
