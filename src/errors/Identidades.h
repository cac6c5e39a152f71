#pragma once
// The names each guarded procedure reports: the pair shown in the error dialog and the pair
// passed to the screen capture. One table for the whole program.
namespace errores {

struct Identidad {
    const char* modulo;
    const char* procedimiento;
    const char* moduloCaptura;
    const char* procedimientoCaptura;
};

namespace id {
inline constexpr Identidad CentrarFrm{"basForm", "CentrarFrm", "basForm", "CentrarFrm"};
inline constexpr Identidad MsgBoxExText{"basMsgbox", "MsgBoxExText", "basMsgbox", "MsgBoxExText"};
inline constexpr Identidad Hook{"basMsgbox", "Hook", "basMsgbox", "Hook"};
inline constexpr Identidad winProc{"basMsgbox", "winProc", "basMsgbox", "winProc"};
inline constexpr Identidad capturapantalla{"capturapantallamod", "capturapantalla", "basCapturaPantalla",
                                           "capturapantalla"};
inline constexpr Identidad PrecioCoste_cmdActualizar_Click{"frmPrecioCoste", "cmdActualizar_click", "frmPrecioCoste",
                                                           "cmdActualizar_Click"};
inline constexpr Identidad PrecioCoste_cmdSalir_Click{"frmPrecioCoste", "cmdSalir_click", "frmPrecioCoste",
                                                      "cmdSalir_Click"};
inline constexpr Identidad PrecioCoste_Form_Load{"frmPrecioCoste", "form_load", "frmPrecioCoste", "form_load"};
inline constexpr Identidad PrecioCoste_progreso{"frmPrecioCoste", "progreso", "frmPrecioCoste", "progreso"};
inline constexpr Identidad PrevioErrH_cmdPrint_Click{"frmPrevioErrH", "cmdPrint_Click", "frmPrevioErrH",
                                                     "cmdPrint_Click"};
inline constexpr Identidad Previo_Form_MouseDown{"frmprevio", "Form_MouseDown", "frmprevio", "Form_MouseDown"};
inline constexpr Identidad Previo_Form_MouseMove{"frmprevio", "Form_MouseMove", "frmprevio", "Form_MouseMove"};
inline constexpr Identidad Previo_Form_MouseUp{"frmprevio", "Form_MouseUp", "frmprevio", "Form_MouseUp"};
inline constexpr Identidad Previo_Form_Resize{"frmprevio", "Form_Resize", "frmprevio", "Form_Resize"};
inline constexpr Identidad Progreso_barra_Click{"frmProgreso", "barra_Click", "frmProgreso", "barra_Click"};
inline constexpr Identidad Progreso_Form_Load{"frmProgreso", "Form_Load", "frmProgreso", "Form_Load"};
inline constexpr Identidad Progreso_progreso{"frmProgreso", "progreso", "frmProgreso", "progreso"};
} // namespace id

} // namespace errores
