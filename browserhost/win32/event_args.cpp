#include "browserhost/event_args.h"

#include "framework/com/com_ptr.h"

#include <exdisp.h>

const VARIANT* EventArgument(const DISPPARAMS& params, UINT position)
{
    if (!params.rgvarg || position >= params.cArgs)
        return nullptr;
    return &params.rgvarg[params.cArgs - 1 - position];
}

const VARIANT* EventValue(const VARIANT* arg)
{
    if (arg && V_VT(arg) == (VT_VARIANT | VT_BYREF))
        return V_VARIANTREF(arg);
    return arg;
}

BSTR EventString(const VARIANT* arg)
{
    arg = EventValue(arg);
    if (!arg)
        return nullptr;
    if (V_VT(arg) == VT_BSTR)
        return V_BSTR(arg);
    if (V_VT(arg) == (VT_BSTR | VT_BYREF) && V_BSTRREF(arg))
        return *V_BSTRREF(arg);
    return nullptr;
}

IDispatch* EventDispatch(const VARIANT* arg)
{
    arg = EventValue(arg);
    if (!arg)
        return nullptr;
    if (V_VT(arg) == VT_DISPATCH)
        return V_DISPATCH(arg);
    if (V_VT(arg) == (VT_DISPATCH | VT_BYREF) && V_DISPATCHREF(arg))
        return *V_DISPATCHREF(arg);
    return nullptr;
}

VARIANT_BOOL* EventCancel(const VARIANT* arg)
{
    return arg && V_VT(arg) == (VT_BOOL | VT_BYREF) ? V_BOOLREF(arg) : nullptr;
}

void SilenceBrowser(IDispatch* browser)
{
    if (!browser)
        return;
    ComPtr<IWebBrowser2> web;
    if (SUCCEEDED(browser->QueryInterface(IID_PPV_ARGS(web.Put()))))
        web->put_Silent(VARIANT_TRUE);
}
