// (Placeholder) Overlay compositing.
#include "filter/effects/EffectLoops.h"

void CfTavEffect::Stretch_Linear(int, const unsigned char*, unsigned char*, int, int, int, int, int) {}
void CfTavEffect::Track_Stretch_Linear(int, const unsigned char*, unsigned char*, int, int, int, int, int) {}
void CfTavEffect::AddRenderPropsBuf(float, float, float, unsigned char*, const unsigned char*, tagSIZE, int, int, int,
                                    int, int) {}
void CfTavEffect::AddV2RenderPropsBuf(float, float, float, unsigned char*, const unsigned char*, tagSIZE, int, int,
                                      int, int, int) {}
void CfTavEffect::AddV2TrackRenderPropsBuf(float, float, float, unsigned char*, const unsigned char*, tagSIZE, int,
                                           int, int, int, int) {}
void CfTavEffect::AddRenderBorderBuf(float, float, int, unsigned char*, const unsigned char*, tagSIZE, int, int, int,
                                     int, int) {}
