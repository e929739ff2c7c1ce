// The module OBS loads: it registers the Lumacore source and says once in OBS's log when its
// data folder (the property labels) is missing.
#include <obs-module.h>

#include "lumacore_source.h"

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("lumacore-obs", "en-US")

MODULE_EXPORT const char* obs_module_description(void) {
    return "Lumacore: the spectrum history, oscilloscope and VU meter as a video source";
}

bool obs_module_load(void) {
    if (char* labels = obs_module_file("locale/en-US.ini"); labels) {
        bfree(labels);
    } else {
        blog(LOG_WARNING, "[lumacore-obs] no data folder with locale/en-US.ini: the settings "
                          "show their keys instead of their labels");
    }
    static const obs_source_info info = lumacore::obs::lumacoreSourceInfo();
    obs_register_source(&info);
    blog(LOG_INFO, "[lumacore-obs] loaded: source 'lumacore_source'");
    return true;
}
