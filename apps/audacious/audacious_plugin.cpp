// lumacore-audacious.so: the Lumacore visualisation plug-in for Audacious. Audacious finds the
// plug-in by its exported instance, asks it for the dock's widget each time the dock opens (and
// deletes the widget when it closes), and hands it the sound it plays through render_multi_pcm.
#include <libaudcore/i18n.h>
#include <libaudcore/plugin.h>
#include <libaudcore/preferences.h>
#include <libaudcore/runtime.h>

#include <QPointer>

#include "lumacore_widget.h"

namespace lumacore::audacious {
namespace {

// The dock's widget while it is open. Audacious deletes it with the dock; the pointer then reads
// null, so that sound for a closed dock is dropped.
QPointer<LumacoreWidget> shown;

void settingsChanged() {
    if (shown) shown->applySettings();
}

const char* const kDefaults[] = {"display", "0", "three_d", "TRUE", "brightness", "100", nullptr};

const ComboItem kDisplays[] = {ComboItem("Spectrum history", 0), ComboItem("Oscilloscope", 1),
                               ComboItem("VU meter", 2)};

const PreferencesWidget kSettings[] = {
    WidgetCombo("Display:", WidgetInt("lumacore", "display", settingsChanged),
                WidgetVCombo{{kDisplays}, nullptr}),
    WidgetCheck("Draw the history in 3D", WidgetBool("lumacore", "three_d", settingsChanged)),
    WidgetSpin("Brightness:", WidgetInt("lumacore", "brightness", settingsChanged),
               {kMinBrightness, kMaxBrightness, 5, "%"}),
};

const PluginPreferences kPreferences = {{kSettings}, nullptr, nullptr, nullptr};

const char kAbout[] = "Lumacore\n\nThe spectrum history (2D or 3D), the oscilloscope or the VU "
                      "meter, drawn from the music Audacious plays.";

} // namespace

class LumacorePlugin : public VisPlugin {
  public:
    constexpr LumacorePlugin()
        : VisPlugin({"Lumacore", nullptr, kAbout, &kPreferences, PluginQtOnly},
                    Visualizer::MultiPCM) {}

    bool init() override {
        aud_config_set_defaults("lumacore", kDefaults);
        return true;
    }

    void* get_qt_widget() override {
        auto* widget = new LumacoreWidget;
        shown = widget;
        return widget;
    }

    void clear() override {
        if (shown) shown->restart();
    }

    void render_multi_pcm(const float* pcm, int channels) override {
        if (shown) shown->hear(pcm, channels, kNodeFrames);
    }

  private:
    static constexpr int kNodeFrames = 512; // what Audacious hands each visualiser a call
};

} // namespace lumacore::audacious

__attribute__((visibility("default"))) lumacore::audacious::LumacorePlugin aud_plugin_instance;
