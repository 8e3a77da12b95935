object nxNovexPasswordForm
    : TnxNovexPasswordForm Left = 0 Top = 0 BorderIcons = [biSystemMenu] BorderStyle =
          bsDialog Caption = "" ClientHeight = 141 ClientWidth = 297 Color =
              clBtnFace Font.Charset = DEFAULT_CHARSET Font.Color = clWindowText Font.Height =
                  -11 Font.Name = "MS Sans Serif" Font.Style = [] OldCreateOrder = False Position =
                      poScreenCenter OnClose = FormClose PixelsPerInch = 96 TextHeight =
                          13 object Label1 : TLabel Left = 45 Top = 5 Width = 246 Height =
                                                 13 Caption = "label" ShowAccelChar =
                                                     False WordWrap = True end object Image1
    : TImage Left = 7 Top = 5 Width = 32 Height = 32 Picture =
          "NXNOVEXPASSWORDICON" end object BottomPanel
    : TPanel Left = 0 Top = 43 Width = 297 Height = 98 BevelOuter = bvNone TabOrder =
          0 object UsernameLab : TLabel Left = 45 Top = 14 Width = 22 Height = 13 Caption =
                                     "User" end object PasswordLab
    : TLabel Left = 45 Top = 38 Width = 23 Height = 13 Caption = "Pass" end object UsernameEdit
    : TEdit Left = 122 Top = 10 Width = 157 Height = 21 TabOrder = 0 end object PasswordEdit
    : TEdit Left = 122 Top = 34 Width = 157 Height = 21 PasswordChar = "*" TabOrder =
          1 end object OKBtn : TButton Left = 114 Top = 68 Width = 75 Height = 23 Caption =
                                   "OK" Default = True ModalResult = mrOk TabOrder = 2 OnClick =
                                       OKBtnClick end object CancelBtn
    : TButton Left = 204 Top = 68 Width = 75 Height = 23 Cancel = True Caption =
          "Cancel" ModalResult = mrCancel TabOrder = 3 end end end
