object nxNovexUpgradeMessageForm: TnxNovexUpgradeMessageForm
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = ""
  ClientHeight = 119
  ClientWidth = 318
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = "MS Sans Serif"
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnClose = FormClose
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 13
  object BottomPanel: TPanel
    Left = 0
    Top = 74
    Width = 318
    Height = 45
    BevelOuter = bvNone
    TabOrder = 0
    object YesBtn: TButton
      Left = 78
      Top = 13
      Width = 75
      Height = 23
      Caption = "Yes!"
      Default = True
      ModalResult = mrYes
      TabOrder = 0
    end
    object LaterBtn: TButton
      Left = 167
      Top = 13
      Width = 75
      Height = 23
      Cancel = True
      Caption = "Later"
      ModalResult = mrNo
      TabOrder = 1
    end
  end
  object Label1: TLabel
    Left = 45
    Top = 5
    Width = 22
    Height = 13
    Caption = "label"
    ShowAccelChar = False
    WordWrap = True
  end
  object Icon: TImage
    Left = 7
    Top = 5
    Width = 32
    Height = 32
    Picture = "NXNOVEXUPGRADEICON"
  end
end
