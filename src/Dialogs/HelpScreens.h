#pragma once
// The pages of the illustrated help tutorials: 44 modal dialogs that show a banner, a heading and
// a few paragraphs, with "Next" (or "Done") and "Annuler". A page edits nothing; the tour that
// runs it decides what follows.

#include "plat/Types.h"

#include <cstdint>

inline constexpr int kFirstHelpScreenId = 4171;
inline constexpr int kLastHelpScreenId = 4214;
inline constexpr int kHelpBannerBitmapId = 17552;

// The illustration buttons of a page: the first and last id of its one radio group, or {0, 0}
// for a page without them.
struct HelpScreenButtons {
    int first;
    int last;
};
HelpScreenButtons HelpScreenIllustrationButtons(int pageId);

// Every launcher stores its argument (never read) and returns 1 after "Next", "Done" or "OK", 0
// after "Annuler" or Escape, and the failure value of the dialog runner when the page cannot be
// made.
int32_t RunTranslatorHelpScreen1Dlg(void* param);        // 4171
int32_t RunTranslatorHelpScreen2Dlg(void* param);        // 4172
int32_t RunTranslatorHelpScreen3Dlg(void* param);        // 4173
int32_t RunTranslatorHelpScreen4Dlg(void* param);        // 4174
int32_t RunFontBlockHelpScreen1Dlg(void* param);         // 4175
int32_t RunFontBlockHelpScreen2Dlg(void* param);         // 4176
int32_t RunFontBlockHelpScreen3Dlg(void* param);         // 4177
int32_t RunFontBlockHelpScreen4Dlg(void* param);         // 4178
int32_t RunFontBlockHelpScreen5Dlg(void* param);         // 4179
int32_t RunCustomizePaletteHelpScreen1Dlg(void* param);  // 4180
int32_t RunCustomizePaletteHelpScreen2Dlg(void* param);  // 4181
int32_t RunCustomizePaletteHelpScreen3Dlg(void* param);  // 4182
int32_t RunCustomizePaletteHelpScreen4Dlg(void* param);  // 4183
int32_t RunWordHelpScreen1Dlg(void* param);              // 4184
int32_t RunWordHelpScreen2Dlg(void* param);              // 4185
int32_t RunWordHelpScreen3Dlg(void* param);              // 4186
int32_t RunWordHelpScreen4Dlg(void* param);              // 4187
int32_t RunWordHelpScreen5Dlg(void* param);              // 4188
int32_t RunOtherAppsHelpScreen1Dlg(void* param);         // 4189
int32_t RunOtherAppsHelpScreen2Dlg(void* param);         // 4190
int32_t RunOtherAppsHelpScreen3Dlg(void* param);         // 4191
int32_t RunPictVsBitmapsHelpScreen1Dlg(void* param);     // 4192
int32_t RunPictVsBitmapsHelpScreen2Dlg(void* param);     // 4193
int32_t RunPictVsBitmapsHelpScreen3Dlg(void* param);     // 4194
int32_t RunPictVsBitmapsHelpScreen4Dlg(void* param);     // 4195
int32_t RunPictureResolutionHelpScreen1Dlg(void* param); // 4196
int32_t RunPictureResolutionHelpScreen2Dlg(void* param); // 4197
int32_t RunPictureResolutionHelpScreen3Dlg(void* param); // 4198
int32_t RunPictureResolutionHelpScreen4Dlg(void* param); // 4199
int32_t RunPictureResolutionHelpScreen5Dlg(void* param); // 4200
int32_t RunPostScriptHelpScreen1Dlg(void* param);        // 4201
int32_t RunPostScriptHelpScreen2Dlg(void* param);        // 4202
int32_t RunPostScriptHelpScreen3Dlg(void* param);        // 4203
int32_t RunPostScriptHelpScreen4Dlg(void* param);        // 4204
int32_t RunPostScriptHelpScreen5Dlg(void* param);        // 4205
int32_t RunTargetAppHelpScreen1Dlg(void* param);         // 4206
int32_t RunTargetAppHelpScreen2Dlg(void* param);         // 4207
int32_t RunTargetAppHelpScreen3Dlg(void* param);         // 4208
int32_t RunKeystrokesHelpScreen1Dlg(void* param);        // 4209
int32_t RunKeystrokesHelpScreen2Dlg(void* param);        // 4210
int32_t RunKeystrokesHelpScreen3Dlg(void* param);        // 4211
int32_t RunKeystrokesHelpScreen4Dlg(void* param);        // 4212
int32_t RunKeystrokesHelpScreen5Dlg(void* param);        // 4213
int32_t RunBlankHelpScreenDlg(void* param);              // 4214

plat::INT_PTR TranslatorHelpScreen1DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR TranslatorHelpScreen2DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR TranslatorHelpScreen3DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR TranslatorHelpScreen4DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR FontBlockHelpScreen1DlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR FontBlockHelpScreen2DlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR FontBlockHelpScreen3DlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR FontBlockHelpScreen4DlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR FontBlockHelpScreen5DlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR CustomizePaletteHelpScreen1DlgProc(plat::HWND dialog, plat::UINT message,
                                                 plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR CustomizePaletteHelpScreen2DlgProc(plat::HWND dialog, plat::UINT message,
                                                 plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR CustomizePaletteHelpScreen3DlgProc(plat::HWND dialog, plat::UINT message,
                                                 plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR CustomizePaletteHelpScreen4DlgProc(plat::HWND dialog, plat::UINT message,
                                                 plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR WordHelpScreen1DlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam);
plat::INT_PTR WordHelpScreen2DlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam);
plat::INT_PTR WordHelpScreen3DlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam);
plat::INT_PTR WordHelpScreen4DlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam);
plat::INT_PTR WordHelpScreen5DlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam);
plat::INT_PTR OtherAppsHelpScreen1DlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR OtherAppsHelpScreen2DlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR OtherAppsHelpScreen3DlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PictVsBitmapsHelpScreen1DlgProc(plat::HWND dialog, plat::UINT message,
                                              plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PictVsBitmapsHelpScreen2DlgProc(plat::HWND dialog, plat::UINT message,
                                              plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PictVsBitmapsHelpScreen3DlgProc(plat::HWND dialog, plat::UINT message,
                                              plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PictVsBitmapsHelpScreen4DlgProc(plat::HWND dialog, plat::UINT message,
                                              plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PictureResolutionHelpScreen1DlgProc(plat::HWND dialog, plat::UINT message,
                                                  plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PictureResolutionHelpScreen2DlgProc(plat::HWND dialog, plat::UINT message,
                                                  plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PictureResolutionHelpScreen3DlgProc(plat::HWND dialog, plat::UINT message,
                                                  plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PictureResolutionHelpScreen4DlgProc(plat::HWND dialog, plat::UINT message,
                                                  plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PictureResolutionHelpScreen5DlgProc(plat::HWND dialog, plat::UINT message,
                                                  plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PostScriptHelpScreen1DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PostScriptHelpScreen2DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PostScriptHelpScreen3DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PostScriptHelpScreen4DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PostScriptHelpScreen5DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR TargetAppHelpScreen1DlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR TargetAppHelpScreen2DlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR TargetAppHelpScreen3DlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR KeystrokesHelpScreen1DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR KeystrokesHelpScreen2DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR KeystrokesHelpScreen3DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR KeystrokesHelpScreen4DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR KeystrokesHelpScreen5DlgProc(plat::HWND dialog, plat::UINT message,
                                           plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR BlankHelpScreenDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam);
