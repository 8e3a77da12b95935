object nxNovexWizardForm: TnxNovexWizardForm
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = "Update wizard"
  ClientHeight = 281
  ClientWidth = 463
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = "MS Sans Serif"
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnClose = FormClose
  PixelsPerInch = 96
  TextHeight = 13
  // Siblings made first lie on top: the product name over its light copy,
  // and both over the separator line.
  object AboutLabel: TLabel
    Left = 30
    Top = 233
    Width = 40
    Height = 15
    Caption = " Novex "
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clBtnShadow
    Font.Height = -12
    Font.Name = "MS Sans Serif"
    Font.Style = []
    ParentFont = False
    ShowAccelChar = False
    Transparent = True
  end
  object AboutShadow: TLabel
    Left = 31
    Top = 234
    Width = 40
    Height = 15
    Caption = " Novex "
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clBtnHighlight
    Font.Height = -12
    Font.Name = "MS Sans Serif"
    Font.Style = []
    ParentFont = False
    ShowAccelChar = False
  end
  object Bevel1: TBevel
    Left = 10
    Top = 238
    Width = 447
    Height = 2
    Shape = bsTopLine
  end
  object Panel1: TPanel
    Left = 10
    Top = 10
    Width = 120
    Height = 220
    BevelOuter = bvLowered
    TabOrder = 0
    object Image1: TImage
      Left = 1
      Top = 1
      Width = 118
      Height = 218
      Picture = "NXNOVEXWIZARDPICTURE"
      Stretch = True
    end
  end
  object WizardTitle: TLabel
    Left = 136
    Top = 10
    Width = 120
    Height = 22
    Caption = "Downloading"
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clWindowText
    Font.Height = -19
    Font.Name = "Times New Roman"
    Font.Style = [fsBold, fsItalic]
    ParentFont = False
  end
  object LCurrentFile: TGroupBox
    Left = 136
    Top = 34
    Width = 319
    Height = 125
    Caption = " Current file "
    TabOrder = 1
    object LDownloadingFileFrom: TLabel
      Left = 6
      Top = 14
      Width = 3
      Height = 13
      Caption = ""
    end
    object FileURL: TEdit
      Left = 10
      Top = 28
      Width = 301
      Height = 13
      TabStop = False
      BorderStyle = bsNone
      Color = clBtnFace
      Font.Charset = DEFAULT_CHARSET
      Font.Color = clHighlight
      Font.Height = -12
      Font.Name = "MS Sans Serif"
      Font.Style = []
      ParentFont = False
      ReadOnly = True
    end
    object LFileSize: TLabel
      Left = 6
      Top = 44
      Width = 3
      Height = 13
      Caption = ""
    end
    object LTransferRate: TLabel
      Left = 6
      Top = 60
      Width = 3
      Height = 13
      Caption = ""
    end
    object LEstimatedTime: TLabel
      Left = 6
      Top = 76
      Width = 3
      Height = 13
      Caption = ""
    end
    object ProgressCurrentFile: TProgressBar
      Left = 6
      Top = 96
      Width = 307
      Height = 22
      Min = 0
      Max = 100
    end
  end
  object LAllFiles: TGroupBox
    Left = 136
    Top = 162
    Width = 319
    Height = 67
    Caption = " All files "
    TabOrder = 2
    object AllDownloading: TLabel
      Left = 6
      Top = 16
      Width = 3
      Height = 13
      Caption = ""
    end
    object ProgressAllFiles: TProgressBar
      Left = 6
      Top = 38
      Width = 307
      Height = 22
      Min = 0
      Max = 100
    end
  end
  object AfterNote: TLabel
    Left = 136
    Top = 44
    Width = 319
    Height = 13
    AutoSize = False
    Caption = ""
    ShowAccelChar = False
    WordWrap = True
  end
  object FinishBtn: TButton
    Left = 296
    Top = 248
    Width = 75
    Height = 25
    Caption = "Next"
    Enabled = False
    TabOrder = 3
    OnClick = FinishBtnClick
  end
  object CancelBtn: TButton
    Left = 380
    Top = 248
    Width = 75
    Height = 25
    Cancel = True
    Caption = "Cancel"
    Default = True
    TabOrder = 4
    OnClick = CancelBtnClick
  end
end
