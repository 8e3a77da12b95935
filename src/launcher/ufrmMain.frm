object frmMain: TfrmMain
  Left = 192
  Top = 125
  Width = 231
  Height = 123
  Caption = "frmMain"
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = "MS Sans Serif"
  Font.Style = []
  OldCreateOrder = False
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 13
  object Timer: TTimer
    Interval = 30000
    OnTimer = TimerTimer
  end
end
