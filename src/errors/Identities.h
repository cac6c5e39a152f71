#pragma once
// The names each guarded procedure reports: the pair shown in the error dialog and the pair
// passed to the screen capture. One table for the whole program.
namespace errors {

struct Identity {
    const char* moduleName;
    const char* procedureName;
    const char* captureModule;
    const char* captureProcedure;
};

namespace id {
inline constexpr Identity CentrarFrm{"basForm", "CentrarFrm", "basForm", "CentrarFrm"};
inline constexpr Identity MsgBoxExText{"basMsgbox", "MsgBoxExText", "basMsgbox", "MsgBoxExText"};
inline constexpr Identity Hook{"basMsgbox", "Hook", "basMsgbox", "Hook"};
inline constexpr Identity winProc{"basMsgbox", "winProc", "basMsgbox", "winProc"};
inline constexpr Identity capturapantalla{"capturapantallamod", "capturapantalla", "basCapturaPantalla",
                                          "capturapantalla"};
inline constexpr Identity PrecioCoste_cmdActualizar_Click{"frmPrecioCoste", "cmdActualizar_click", "frmPrecioCoste",
                                                          "cmdActualizar_Click"};
inline constexpr Identity PrecioCoste_cmdSalir_Click{"frmPrecioCoste", "cmdSalir_click", "frmPrecioCoste",
                                                     "cmdSalir_Click"};
inline constexpr Identity PrecioCoste_Form_Load{"frmPrecioCoste", "form_load", "frmPrecioCoste", "form_load"};
inline constexpr Identity PrecioCoste_progreso{"frmPrecioCoste", "progreso", "frmPrecioCoste", "progreso"};
inline constexpr Identity PrevioErrHandler_cmdPrint_Click{"frmPrevioErrH", "cmdPrint_Click", "frmPrevioErrH",
                                                          "cmdPrint_Click"};
inline constexpr Identity PrevioErrHandler_Form_MouseDown{"frmprevio", "Form_MouseDown", "frmprevio", "Form_MouseDown"};
inline constexpr Identity PrevioErrHandler_Form_MouseMove{"frmprevio", "Form_MouseMove", "frmprevio", "Form_MouseMove"};
inline constexpr Identity PrevioErrHandler_Form_MouseUp{"frmprevio", "Form_MouseUp", "frmprevio", "Form_MouseUp"};
inline constexpr Identity PrevioErrHandler_Form_Resize{"frmprevio", "Form_Resize", "frmprevio", "Form_Resize"};
inline constexpr Identity Progreso_barra_Click{"frmProgreso", "barra_Click", "frmProgreso", "barra_Click"};
inline constexpr Identity Progreso_Form_Load{"frmProgreso", "Form_Load", "frmProgreso", "Form_Load"};
inline constexpr Identity Progreso_progreso{"frmProgreso", "progreso", "frmProgreso", "progreso"};
} // namespace id

} // namespace errors
